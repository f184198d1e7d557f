#include "engine/SourceList.h"

#include <algorithm>
#include <array>
#include <set>

#include "support/ByteStrings.h"
#include "support/FileHandle.h"
#include "support/InputFile.h"
#include "support/ZipArchive.h"

namespace plexor {
namespace {

// Deeper than any real tree of data, shallow enough that a loop of links ends.
constexpr int kMaxFolderDepth = 32;

constexpr std::array<const char*, 8> kCompanionExtensions = {".shp", ".dbf", ".shx", ".prj",
                                                             ".cpg", ".sbn", ".sbx", ".qix"};

bool HasExtension(std::string_view path, std::string_view ext) {
  const std::string name = GetFileName(path);
  return name.size() > ext.size() &&
         SameTextAscii(std::string_view(name).substr(name.size() - ext.size()), ext);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
#ifdef _WIN32
  const char last = dir.back();
  return last == '\\' || last == '/' || last == ':' ? dir + name : dir + '\\' + name;
#else
  return dir.back() == '/' ? dir + name : dir + '/' + name;
#endif
}

void WalkFolder(const std::string& dir, bool recursive, int depth,
                std::vector<TSourceItem>& items) {
  // FolderEntries takes the folder with its separator (Windows lists "dir\\*").
  for (const std::string& name : FolderEntries(JoinPath(dir, ""))) {
    const std::string path = JoinPath(dir, name);
    if (HasExtension(name, ".shp") && RegularFileExists(path)) {
      items.push_back({path, {}});
    } else if (recursive && depth < kMaxFolderDepth && DirectoryExists(path) &&
               FollowLinks(path) == path) {
      WalkFolder(path, recursive, depth + 1, items);
    }
  }
}

std::vector<TSourceItem> ArchiveShapefiles(const std::string& archive) {
  const TZipDirectory directory(archive);
  std::vector<const TZipEntry*> shapefiles;
  for (const TZipEntry& e : directory.Entries()) {
    if (!e.Folder && HasExtension(e.Name, ".shp")) shapefiles.push_back(&e);
  }
  std::sort(shapefiles.begin(), shapefiles.end(),
            [](const TZipEntry* a, const TZipEntry* b) { return a->Name < b->Name; });
  std::vector<TSourceItem> items;
  for (const TZipEntry* e : shapefiles) {
    TSourceItem item{ArchiveMemberPath(archive, e->Name), {}};
    if (!e->Refusal.empty()) item.Refusal = ZipMemberErrorText(archive, e->Name, e->Refusal);
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

bool IsArchiveSource(const std::string& path) {
  return IsArchiveFileName(path) && RegularFileExists(path);
}

std::vector<TSourceItem> ExpandSource(const std::string& path, bool recursive) {
  if (DirectoryExists(path)) {
    std::vector<TSourceItem> items;
    WalkFolder(path, recursive, 0, items);
    std::sort(items.begin(), items.end(),
              [](const TSourceItem& a, const TSourceItem& b) { return a.Source < b.Source; });
    return items;
  }
  if (IsArchiveSource(path)) return ArchiveShapefiles(path);
  return {{path, {}}};
}

bool SingleShapefileOf(const std::string& archive, std::string& member, std::string& why) {
  std::vector<TSourceItem> items;
  try {
    items = ArchiveShapefiles(archive);
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
  if (items.size() != 1) {
    why = "ZIP ファイル \"" + NativeToUtf8(archive) + "\" にはシェープファイルが " +
          std::to_string(items.size()) + " 個あります" +
          (items.empty() ? "。" : "。変換するものを ZIP ファイルの中のパスで指定してください。");
    return false;
  }
  if (!items[0].Refusal.empty()) {
    why = items[0].Refusal;
    return false;
  }
  member = items[0].Source;
  return true;
}

std::string DefaultTargetOf(const std::string& source) {
  if (!RegularFileExists(source)) {
    if (const std::optional<TArchivePath> split = SplitArchivePath(source)) {
      return GetFileDir(split->Archive) +
             ChangeFileExt(GetFileName(ArchiveMemberPath(split->Archive, split->Member)), ".mif");
    }
  } else if (IsArchiveSource(source)) {
    std::string member;
    std::string why;
    if (SingleShapefileOf(source, member, why)) return DefaultTargetOf(member);
  }
  return ChangeFileExt(source, ".mif");
}

std::string ShapefileOfCompanion(const std::string& path) {
  for (const char* ext : kCompanionExtensions) {
    if (!HasExtension(path, ext)) continue;
    const std::string shp = FindInputCaseVariant(ChangeFileExt(path, ".shp"));
    return InputFileExists(shp) ? shp : std::string();
  }
  return {};
}

std::vector<TSourceItem> SourcesFromDrop(const std::vector<std::string>& paths,
                                         std::vector<std::string>& unused) {
  std::vector<TSourceItem> items;
  std::set<std::string> seen;
  const auto add = [&](TSourceItem item) {
    if (seen.insert(item.Source).second) items.push_back(std::move(item));
  };
  for (const std::string& path : paths) {
    if (DirectoryExists(path) || IsArchiveSource(path)) {
      std::vector<TSourceItem> found;
      try {
        found = ExpandSource(path, true);
      } catch (const std::exception& e) {
        add({path, e.what()});
        continue;
      }
      if (found.empty()) unused.push_back(path);
      for (TSourceItem& item : found) add(std::move(item));
    } else if (const std::string shp = ShapefileOfCompanion(path); !shp.empty()) {
      add({shp, {}});
    } else {
      unused.push_back(path);
    }
  }
  return items;
}

}  // namespace plexor
