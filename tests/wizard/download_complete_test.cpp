// Download completion: the setup information and its comparison, the
// DesktopApp descriptor, the progress percentage, what follows a finished
// install download, the credential box's answers, and the update steps driven
// in-process with requests whose outcome the test sets (no network).
#include "install/download_complete.h"
#include "install/server_answers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app.h"
#include "box_recorder.h"
#include "proxy_credentials.h"
#include "resource.h"
#include "sheet.h"
#include "test_support.h"

namespace {

using testing_support::BoxRecorder;
using testing_support::LogCapture;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

TEST(SetupInfoTest, PiecesAndUsability) {
  struct Row {
    const char* body;
    size_t pieces;
    bool usable;
  } rows[] = {
      {"2025.79.0.0", 4, true},
      {" 2025.+79.0.0", 4, true},
      {"2025.79.0", 3, false},
      {"2025.79.0.0.1", 5, true},  // usable; the comparison finds the length differs
      {"a.b.c.d", 4, false},
      {"2025..0.0", 4, false},
      {"2025.79.0.2147483648", 4, false},
      {"2025.79.0.-2147483648", 4, true},
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
      {{"2025", "79", "0", "0"}, {"2025", "78", "0", "0"}, true},
      {{"2025", "77", "9", "0"}, {"2025", "78", "0", "0"}, false},
      {{"2025", "78", "0", "0"}, {"2025", "78", "0", "0"}, false},
      {{"2025", "79", "0", "0\r\n"}, {"2025", "78", "0", "0"}, true},
      {{"2025", "78", "0", "10"}, {"2025", "78", "0", "9"}, true},  // numbers, not text
      {{"2025", "79", "0", "0", "0"}, {"2025", "78", "0", "0"}, false},
      {{"2025", "79", "0"}, {"2025", "78", "0", "0"}, false},
      {{"2025", "79", "x", "0"}, {"2025", "78", "0", "0"}, false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(IsNewerVersion(row.server, row.own), row.newer)
        << ::testing::PrintToString(row.server);
}

TEST(SetupInfoTest, WhatFollowsTheAnswer) {
  struct Row {
    int status;
    size_t length;
    DWORD contentLength;
    bool tooLong;
    SetupInfoNext next;
  } rows[] = {
      {200, 13, 13, false, SetupInfoNext::Compare},
      {200, 13, 0, false, SetupInfoNext::Compare},     // no length announced (chunked)
      {200, 4, 13, false, SetupInfoNext::AskRetry},    // cut short
      {200, 0, 70000, true, SetupInfoNext::Compare},   // longer than the setup reads
      {407, 3, 0, false, SetupInfoNext::AskCredentials},
      {404, 3, 0, false, SetupInfoNext::AskRetry},
  };
  for (const Row& row : rows)
    EXPECT_EQ(DecideSetupInfo(row.status, row.length, row.contentLength, row.tooLong), row.next)
        << row.status << " " << row.length << " " << row.contentLength;
}

TEST(DescriptorTest, FieldsFoundAndKept) {
  struct Row {
    const char* name;
    const char* xml;
    DesktopAppDescriptor expected;  // starting from {"old-url", "old-number", "old-sum"}
  } rows[] = {
      {"good",
       "<?xml version=\"1.0\"?>\r\n<rel><download_url>http://h/d.7z</download_url>"
       "<number>1.2.3.4</number><checksum>abc</checksum></rel>",
       {"http://h/d.7z", "1.2.3.4", "abc"}},
      {"partial", "<rel><download_url>http://h/d.7z</download_url></rel>",
       {"http://h/d.7z", "old-number", "old-sum"}},
      {"empty element", "<rel><number/><checksum></checksum></rel>", {"old-url", "", ""}},
      {"first of each name",
       "<rel><number a=\"x\">1</number><number>2</number><download_url>u1</download_url>"
       "<download_url>u2</download_url></rel>",
       {"u1", "1", "old-sum"}},
      {"cdata", "<rel><download_url><![CDATA[http://h/a&b.7z]]></download_url></rel>",
       {"http://h/a&b.7z", "old-number", "old-sum"}},
      {"broken after the url", "<rel><download_url>http://h/d.7z</download_url><number>1.2<",
       {"http://h/d.7z", "1.2", "old-sum"}},
      {"wrong root", "<release><download_url>u</download_url><number>1</number></release>",
       {"old-url", "old-number", "old-sum"}},
      {"not xml", "Not Found\r\n", {"old-url", "old-number", "old-sum"}},
  };
  for (const Row& row : rows) {
    DesktopAppDescriptor d{"old-url", "old-number", "old-sum"};
    ParseDesktopAppDescriptor(row.xml, &d);
    EXPECT_EQ(d.downloadUrl, row.expected.downloadUrl) << row.name;
    EXPECT_EQ(d.number, row.expected.number) << row.name;
    EXPECT_EQ(d.checksum, row.expected.checksum) << row.name;
  }
}

TEST(ProgressTest, Percentages) {
  struct Row {
    DWORD total, received;
    std::optional<int> percent;
  } rows[] = {
      {1000000, 500000, 50},
      {200, 199, 50},     // received counts in whole hundreds
      {1000, 1100, 110},  // a longer body is not clamped
      {0, 5000, std::nullopt},
      {99, 50, std::nullopt},
  };
  for (const Row& row : rows)
    EXPECT_EQ(DownloadPercent(row.total, row.received), row.percent)
        << row.total << " " << row.received;
}

TEST(InstallDownloadTest, WhatFollows) {
  struct Row {
    bool good;
    int status;
    InstallDownloadNext next;
  } rows[] = {
      {true, 200, InstallDownloadNext::NextPhase},
      {false, 200, InstallDownloadNext::AskRetry},
      {false, 407, InstallDownloadNext::AskCredentials},
      {false, 404, InstallDownloadNext::AskRetry},
  };
  for (const Row& row : rows)
    EXPECT_EQ(DecideInstallDownload(row.good, row.status), row.next) << row.status;

  // A response without Content-Length is never good, however long.
  EXPECT_FALSE(IsGoodDownload(200, 5000, 0));
  EXPECT_FALSE(IsGoodDownload(200, 10, 20));
  EXPECT_FALSE(IsGoodDownload(404, 3, 3));
  EXPECT_TRUE(IsGoodDownload(200, 0, 0));

  EXPECT_EQ(InstallDownloadFailureLine(1, 200, 5000, 0),
            "[* WARN] Download Korval not completed -> 5000 -> 0");
  EXPECT_EQ(InstallDownloadFailureLine(2, 200, 80, 80),
            "[* WARN] Download DesktopApp Xml not completed -> 80 -> 80");
  EXPECT_EQ(InstallDownloadFailureLine(3, 200, 1, 2),
            "[* WARN] Download DesktopApp not completed -> 1 -> 2");
  EXPECT_EQ(InstallDownloadFailureLine(2, 407, 3, 0), "[* WARN] Connection error phase 2 -> 407");
}

// The credential box's next answer.
struct PromptAnswer {
  DWORD result = 0;
  std::wstring user, password;
  int calls = 0;
} g_prompt;

DWORD WINAPI FakePrompt(PCREDUI_INFOW, PCWSTR, PCtxtHandle, DWORD, PWSTR user, ULONG userSize,
                        PWSTR password, ULONG passwordSize, BOOL*, DWORD) {
  ++g_prompt.calls;
  wcsncpy(user, g_prompt.user.c_str(), userSize - 1);
  wcsncpy(password, g_prompt.password.c_str(), passwordSize - 1);
  return g_prompt.result;
}

class CompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static CApp* app = new CApp();  // like the setup's: never freed
    app_ = app;
    g_app = app_;
    app_->m_environment = EnvProduction;
    app_->m_proxyUser.clear();
    app_->m_proxyPassword.clear();
    app_->m_hwndPage = nullptr;
    app_->m_hwndWaitDlg = nullptr;
    app_->m_updateChecked = true;
    // No URL: a request started by a step is refused at once and never reports.
    app_->m_setupPackageUrl = "no-url";
    app_->m_tempSetupPackage = dir_ / "setup.7z";
    g_prompt = PromptAnswer();
    boxes_.otherwise = IDCANCEL;
    SetCredentialPromptForTesting(FakePrompt);
  }
  void TearDown() override { SetCredentialPromptForTesting(nullptr); }

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

// (The accepted box is the end-to-end scenario's.)
TEST_F(CompletionTest, CredentialBoxRefusedOrFailedKeepsTheCredentials) {
  std::string user = "mario", password = "segreto";
  for (DWORD result : {DWORD{ERROR_CANCELLED}, DWORD{ERROR_NOT_SUPPORTED}}) {
    g_prompt = {result, L"other", L"other"};
    EXPECT_FALSE(AskForProxyCredentials(&user, &password)) << result;
    EXPECT_EQ(user, "mario") << result;
    EXPECT_EQ(password, "segreto") << result;
  }
  EXPECT_FALSE(log_.Has("Proxy credential set"));
  EXPECT_FALSE(log_.Has("failed -> 1223"));
  EXPECT_TRUE(log_.Has("[* WARN] Proxy credential box failed -> 50"));
}

TEST_F(CompletionTest, SavePackageWritesTheWholeBodyAndReportsFailure) {
  std::string body(3 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31 + (i >> 12));
  const std::string path = dir_ / "package.7z";
  ASSERT_TRUE(WriteBytes(path, std::string(body.size() + 100, 'x')));
  EXPECT_TRUE(SavePackage(path, body));
  EXPECT_EQ(ReadBytes(path), body);  // truncated, byte for byte

  EXPECT_FALSE(SavePackage(dir_ / "missing\\package.7z", "x"));
  EXPECT_TRUE(log_.Has("[**  ERR] Cannot store package " + (dir_ / "missing\\package.7z") +
                       " -> open failed (3)"));
}

// A whole download that cannot be stored is a failed download (Retry), not a
// package the next phases would miss and take for installed.
TEST_F(CompletionTest, PackageThatCannotBeStoredIsOfferedAgain) {
  app_->m_tempKorvalPackage = dir_ / "missing\\korval2025.7z";
  boxes_.otherwise = IDRETRY;
  Complete(StepKorvalPackage, 200, "7z-body", 7);
  EXPECT_TRUE(log_.Has("[**  ERR] Cannot store package " + app_->m_tempKorvalPackage));
  ASSERT_EQ(boxes_.seen.size(), 1u);
  EXPECT_EQ(boxes_.seen[0].caption, "Attenzione");
  EXPECT_TRUE(log_.Has("[  INFO] Install phase 1 - Korval download"));  // the Retry
  EXPECT_FALSE(log_.Has("Install phase 2"));
}

TEST_F(CompletionTest, UnusableSetupInformationEndsWithoutUpdate) {
  struct Row {
    const char* body;
    const char* line;
  } rows[] = {
      {"2025.x.0.0", "Error on information parsing. Size is 4 expected 4 -> 2025.x.0.0"},
      {"2025.79.0.99999999999", "Size is 4 expected 4 -> 2025.79.0.99999999999"},
  };
  for (const Row& row : rows) {
    log_.Clear();
    const std::string body = row.body;
    Complete(StepUpdateInfo, 200, body, static_cast<DWORD>(body.size()));
    EXPECT_TRUE(log_.Has("[* WARN] Download new version information not completed -> " +
                         std::to_string(body.size()) + " -> " + std::to_string(body.size())))
        << row.body;
    EXPECT_TRUE(log_.Has(row.line)) << row.body;
    EXPECT_TRUE(log_.Has("[  INFO] No update available")) << row.body;
    EXPECT_FALSE(log_.Has("Release update available")) << row.body;
  }
  EXPECT_TRUE(boxes_.seen.empty());
}

// Sent chunked, as proxies do: no length announced, the whole answer read.
TEST_F(CompletionTest, SetupInformationWithoutALengthIsCompared) {
  boxes_.otherwise = IDOK;
  Complete(StepUpdateInfo, 200, "2099.0.0.0\r\n", 0);
  EXPECT_TRUE(log_.Has("[  INFO] Release update available on server -> "));
  EXPECT_TRUE(log_.Has("[  INFO] An update is available"));
  ASSERT_EQ(boxes_.seen.size(), 1u);
  EXPECT_EQ(boxes_.seen[0].caption, "Aggiornamento setup");
}

TEST_F(CompletionTest, FailedCredentialBoxOnSetupInformationIsACancel) {
  g_prompt.result = ERROR_NOT_SUPPORTED;
  Complete(StepUpdateInfo, 407, "407", 0);
  EXPECT_EQ(g_prompt.calls, 1);
  EXPECT_TRUE(log_.Has("[* WARN] Proxy credential box failed -> 50"));
  EXPECT_TRUE(log_.Has("[  INFO] No update available"));
  EXPECT_FALSE(log_.Has("User cancelled proxy settings UI"));
  EXPECT_FALSE(log_.Has("Looking for new update"));
  EXPECT_TRUE(app_->m_proxyUser.empty());
}

TEST_F(CompletionTest, SetupPackageFailures) {
  boxes_.otherwise = IDRETRY;
  Complete(StepSetupPackage, 200, "half", 8);
  EXPECT_TRUE(log_.Has("[* WARN] Download setup update package not completed -> 4 -> 8"));
  ASSERT_EQ(boxes_.seen.size(), 1u);
  EXPECT_EQ(boxes_.seen[0].caption, "Servizi ZAN - Installazione - Attenzione");
  EXPECT_TRUE(log_.Has("[  INFO] Looking for new setup -> no-url"));  // the Retry

  log_.Clear();
  g_prompt.result = ERROR_CANCELLED;
  Complete(StepSetupPackage, 407, "407", 0);
  EXPECT_TRUE(log_.Has("[* WARN] Connection error check update -> 407"));
  EXPECT_TRUE(log_.Has("[* WARN] User cancelled proxy settings UI"));
  EXPECT_FALSE(log_.Has("Looking for new setup"));
  EXPECT_EQ(boxes_.seen.size(), 1u);
}

TEST_F(CompletionTest, OtherStepsAreIgnored) {
  for (int16_t step : {StepNone, StepKorvalInstall, StepDesktopAppInstall}) {
    Complete(step, 404, "404", 0);
    Complete(step, 200, "1.2.3.4", 7);
  }
  EXPECT_EQ(log_.Text(), "");
  EXPECT_TRUE(boxes_.seen.empty());
}

}  // namespace
