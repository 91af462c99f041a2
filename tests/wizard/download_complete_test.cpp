// Download completion where the end-to-end stories cannot reach: odd setup
// information, a failing credential box, and steps completed in-process with
// outcomes only the test can set (a package that cannot be stored, an answer
// without a length).
#include "install/download_complete.h"
#include "install/server_answers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app.h"
#include "box_recorder.h"
#include "test_support.h"

namespace {

using testing_support::BoxRecorder;
using testing_support::LogCapture;
using testing_support::TempDir;

// Answers the end-to-end update server is never set to give.
TEST(SetupInfoTest, PiecesAndUsability) {
  struct Row {
    const char* body;
    size_t pieces;
    bool usable;
  } rows[] = {
      {"2025.79.0", 3, false},
      {"a.b.c.d", 4, false},
      {"2025.79.0.2147483648", 4, false},
  };
  for (const Row& row : rows) {
    const SetupInfo info = ParseSetupInfo(row.body);
    EXPECT_EQ(info.pieces.size(), row.pieces) << row.body;
    EXPECT_EQ(info.usable, row.usable) << row.body;
  }
}

TEST(SetupInfoTest, ComparisonWithOwnVersion) {
  using V = std::vector<std::string>;
  struct Row {
    V server, own;
    bool newer;
  } rows[] = {
      // (A newer, the same and an older version are the end-to-end update stories'.)
      {{"2025", "78", "0", "10"}, {"2025", "78", "0", "9"}, true},  // numbers, not text
      {{"2025", "79", "0"}, {"2025", "78", "0", "0"}, false},
      {{"2025", "79", "x", "0"}, {"2025", "78", "0", "0"}, false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(IsNewerVersion(row.server, row.own), row.newer)
        << ::testing::PrintToString(row.server);
}

// A box that cannot be shown (a confirmed or a cancelled one is the
// end-to-end stories') is no answer: a 407 would repeat for ever.
TEST(CredentialBox, AFailedBoxIsNoAnswer) {
  EXPECT_EQ(ClassifyCredentialResult(ERROR_NOT_SUPPORTED), CredentialAnswer::Failed);
  EXPECT_EQ(ClassifyCredentialResult(ERROR_INVALID_PARAMETER), CredentialAnswer::Failed);
}

class CompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static CApp* app = new CApp();  // like the setup's: never freed
    app_ = app;
    g_app = app_;
    app_->m_updateChecked = true;
    // No URL: a request started by a step is refused at once and never reports.
    app_->m_setupPackageUrl = "no-url";
    app_->m_tempSetupPackage = dir_ / "setup.7z";
  }

  // Completes a request of the step with this outcome.
  void Complete(int16_t step, int status, const std::string& response, DWORD contentLength) {
    auto* request = new WininetWrapper("no-url", false);
    request->status = status;
    request->response = response;
    request->contentLength = contentLength;
    app_->m_step = step;
    app_->OnDownloadComplete(request);
  }

  TempDir dir_;
  LogCapture log_;
  BoxRecorder boxes_;
  CApp* app_ = nullptr;
};

// A whole download that cannot be stored is a failed download (Retry), not a
// package the next phases would miss and take for installed.
TEST_F(CompletionTest, PackageThatCannotBeStoredIsOfferedAgain) {
  app_->m_tempKorvalPackage = dir_ / "missing\\korval2025.7z";
  boxes_.answer = IDRETRY;
  Complete(StepKorvalPackage, 200, "7z-body", 7);
  EXPECT_TRUE(log_.Has("[**  ERR] Cannot store package " + app_->m_tempKorvalPackage));
  ASSERT_EQ(boxes_.seen.size(), 1u);
  EXPECT_EQ(boxes_.seen[0].caption, "Attenzione");
  EXPECT_TRUE(log_.Has("[  INFO] Install phase 1 - Korval download"));  // the Retry
  EXPECT_FALSE(log_.Has("Install phase 2"));
}

// A package is shared for reading and writing while it is stored, not for
// deletion.
TEST(StoredPackage, SharedForReadingAndWriting) {
  TempDir dir;
  static std::string package;
  package = dir / "korval2025.7z";
  EXPECT_EQ(testing_support::OpensWhileWritten(package, [] { SavePackage(package, "7z-body"); }),
            "read write");
}

// Sent chunked, as proxies do: no length announced, the whole answer read.
TEST_F(CompletionTest, SetupInformationWithoutALengthIsCompared) {
  boxes_.answer = IDOK;
  Complete(StepUpdateInfo, 200, "2099.0.0.0\r\n", 0);
  EXPECT_TRUE(log_.Has("[  INFO] Release update available on server -> "));
  EXPECT_TRUE(log_.Has("[  INFO] An update is available"));
  ASSERT_EQ(boxes_.seen.size(), 1u);
  EXPECT_EQ(boxes_.seen[0].caption, "Aggiornamento setup");
}

// The line break the setup information ends with is no part of what its
// lines quote; any other control character stays escaped. (The usual
// answer's line is the end-to-end update stories'.)
TEST_F(CompletionTest, SetupInformationQuotedWithoutItsLineBreak) {
  const std::string parsing = "[* WARN] Error on information parsing. Size is ";
  const struct {
    std::string body, line;
  } rows[] = {
      {"2025.79.0\r\n", parsing + "3 expected 4 -> 2025.79.0\r\n"},
      {"2025\n79\r\n", parsing + "1 expected 4 -> 2025\\x0A79\r\n"},
  };
  for (const auto& row : rows) {
    log_.Clear();
    Complete(StepUpdateInfo, 200, row.body, static_cast<DWORD>(row.body.size()));
    EXPECT_TRUE(log_.Has(row.line)) << log_.Text();
  }
}

}  // namespace
