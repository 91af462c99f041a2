// For the wizard's in-process tests: the boxes the code under test shows
// through ShowBox, recorded and all answered with `answer`, for the life of
// the object.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "boxes.h"

namespace testing_support {

struct SeenBox {
  std::string text, caption;
};

class BoxRecorder {
 public:
  BoxRecorder() {
    Current() = this;
    SetMessageBoxForTesting(&Record);
  }
  ~BoxRecorder() {
    SetMessageBoxForTesting(nullptr);
    Current() = nullptr;
  }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  std::vector<SeenBox> seen;
  int answer = IDOK;

 private:
  static BoxRecorder*& Current() {
    static BoxRecorder* current = nullptr;
    return current;
  }
  static int WINAPI Record(HWND, LPCSTR text, LPCSTR caption, UINT) {
    Current()->seen.push_back({text, caption});
    return Current()->answer;
  }
};

}  // namespace testing_support
