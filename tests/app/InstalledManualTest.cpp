#include <gtest/gtest.h>

#include <QUrl>
#include <filesystem>

#include "app/QtPlatformServices.h"
#include "support/ShpBuilder.h"

namespace plexor::test {
namespace {

// The real lookup, with the browser and the boxes written down instead of shown.
class OpenedManuals : public QtPlatformServices {
 public:
  std::vector<std::string> Messages;
  std::vector<std::string> Opened;
  void ShowMessage(MessageKind /*kind*/, const std::string& text) override {
    Messages.push_back(text);
  }
  bool ShellOpen(const std::string& target) override {
    Opened.push_back(QUrl(QString::fromStdString(target)).toLocalFile().toStdString());
    return true;
  }
};

// A PREFIX laid out as a package installs it: the programs in bin, the manual in share.
struct InstalledTree {
  TempDir Prefix;
  InstalledTree() {
    std::filesystem::create_directories(Prefix / "bin");
    std::filesystem::create_directories(Prefix / "share/plexor-converter");
  }
  std::string HelpFile() const { return Prefix / "bin/plexor-converter.hlp"; }
  std::string Installed() const { return Prefix / "share/plexor-converter/plexor-converter.html"; }
  std::string Beside() const { return Prefix / "bin/plexor-converter.html"; }
};

TEST(InstalledManual, AnInstalledProgramFindsItsManualUnderShare) {
  InstalledTree tree;
  WriteFile(tree.Installed(), "<html></html>");
  OpenedManuals services;
  services.ShowHelp(tree.HelpFile(), kHelpKeyCommand, 0);
  EXPECT_TRUE(services.Messages.empty());
  ASSERT_EQ(services.Opened.size(), 1u);
  // No "bin/.." left in what the browser is given.
  EXPECT_EQ(services.Opened[0], tree.Installed());
}

TEST(InstalledManual, TheCopyBesideTheProgramComesFirst) {
  InstalledTree tree;
  WriteFile(tree.Installed(), "<html></html>");
  WriteFile(tree.Beside(), "<html></html>");
  OpenedManuals services;
  services.ShowHelp(tree.HelpFile(), kHelpKeyCommand, 0);
  ASSERT_EQ(services.Opened.size(), 1u);
  EXPECT_EQ(services.Opened[0], tree.Beside());
}

TEST(InstalledManual, OnlyTheManualOfTheProgramsOwnNameCounts) {
  InstalledTree tree;
  WriteFile(tree.Installed(), "<html></html>");
  OpenedManuals services;
  // A renamed copy of the program looks for a manual of its new name, as beside it.
  services.ShowHelp(tree.Prefix / "bin/conv.hlp", kHelpKeyCommand, 0);
  EXPECT_TRUE(services.Opened.empty());
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_NE(services.Messages[0].find(tree.Prefix / "bin/conv.html"), std::string::npos);
  // A folder of the manual's name is not a manual.
  InstalledTree other;
  std::filesystem::create_directories(other.Installed());
  services.ShowHelp(other.HelpFile(), kHelpKeyCommand, 0);
  EXPECT_TRUE(services.Opened.empty());
  EXPECT_EQ(services.Messages.size(), 2u);
}

}  // namespace
}  // namespace plexor::test
