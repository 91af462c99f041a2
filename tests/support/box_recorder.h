// For the wizard's in-process tests: the boxes the code under test shows
// through ShowBox, recorded and answered in turn, for the life of the object.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "sheet.h"

namespace testing_support {

struct SeenBox {
  HWND owner;
  std::string text, caption;
  UINT style;
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

  void Clear() {
    seen.clear();
    answers.clear();
  }
  // The last box's text; "" when none was shown.
  std::string LastText() const { return seen.empty() ? "" : seen.back().text; }

  std::vector<SeenBox> seen;
  std::deque<int> answers;  // given in order, then `otherwise`
  int otherwise = IDOK;

 private:
  static BoxRecorder*& Current() {
    static BoxRecorder* current = nullptr;
    return current;
  }
  static int WINAPI Record(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    BoxRecorder& r = *Current();
    r.seen.push_back({owner, text, caption, style});
    if (r.answers.empty()) return r.otherwise;
    const int answer = r.answers.front();
    r.answers.pop_front();
    return answer;
  }
};

}  // namespace testing_support
