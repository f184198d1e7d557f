// The window's message boxes, one after the other. A run reports from its own thread, and
// its reports reach the window while a box may be open (a modal box lets the window's
// queue run): such a report waits for the open box instead of opening a second on top.
#pragma once

#include <deque>
#include <string>

#include "ui/PlatformServices.h"

namespace plexor {

class TMessageBoxes {
 public:
  explicit TMessageBoxes(IPlatformServices& services) : services_(services) {}

  void Tell(MessageKind kind, const std::string& text);
  // The application's error box.
  void TellError(const std::string& text);
  // A yes/no question; boxes that arrive while it is open wait for Flush or Drop.
  bool Ask(const std::string& text);
  void Flush();
  void Drop() { waiting_.clear(); }

 private:
  struct Box {
    bool ApplicationError;
    MessageKind Kind;
    std::string Text;
  };

  IPlatformServices& services_;
  std::deque<Box> waiting_;
  bool open_ = false;
};

}  // namespace plexor
