// A popup as a backend asks it, and the answer a test responder gives in the
// operator's place. Both backends record the popups they are asked to show.
#pragma once

#include <functional>
#include <string>

struct PopupRequest {
  enum class Kind { FileSelect, Confirm, Message };
  Kind kind = Kind::Message;
  std::string title;
  std::string message;           // Confirm and Message
  std::string defaultDirectory;  // FileSelect
  std::string defaultFileSpec;   // FileSelect
  std::string fileTypeList;      // FileSelect
};

struct PopupAnswer {
  int result = 0;    // FileSelect: 0/1/2; Confirm: non-zero for Yes
  std::string path;  // FileSelect only
};

using PopupResponder = std::function<PopupAnswer(const PopupRequest&)>;
