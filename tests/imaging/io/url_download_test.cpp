// Loads through a local HTTP server started by the test: pictures equal to file loads, redirects, errors,
// aborts, servers that send more than they announce or no length at all.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/url_download.h"
#include "io_test_util.h"

namespace {

const char* kServer = R"PY(
import http.server, os, sys, time
root = sys.argv[1]
class H(http.server.BaseHTTPRequestHandler):
    def log_message(self, *a): pass
    def body(self, name):
        with open(os.path.join(root, name), 'rb') as f: return f.read()
    def do_GET(self):
        p = self.path
        if p.startswith('/pic/'):
            b = self.body(p[5:]); self.send_response(200)
            self.send_header('Content-Type', 'image/png' if p.endswith('.png') else 'image/jpeg')
            self.send_header('Content-Length', str(len(b))); self.end_headers(); self.wfile.write(b)
        elif p == '/moved':
            self.send_response(302); self.send_header('Location', '/pic/a.png'); self.end_headers()
        elif p == '/nolength':
            b = self.body('a.png'); self.send_response(200); self.send_header('Connection', 'close'); self.end_headers()
            self.wfile.write(b); self.wfile.flush(); self.close_connection = True
        elif p == '/toolong':
            b = self.body('a.png'); self.send_response(200)
            self.send_header('Content-Length', '100'); self.end_headers(); self.wfile.write(b)
        elif p == '/slow':
            self.send_response(200); self.send_header('Content-Length', '10000000'); self.end_headers()
            for i in range(1000):
                self.wfile.write(b'x' * 1000); self.wfile.flush(); time.sleep(0.05)
        else:
            self.send_error(404)
s = http.server.ThreadingHTTPServer(('127.0.0.1', 0), H)
print(s.server_address[1], flush=True)
s.serve_forever()
)PY";

class UrlDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qvio::HaveTool("python3")) GTEST_SKIP() << "python3 is needed for the local server";
    Dir = qvio::TempDir();
    qvio::WriteText(Dir + "/server.py", kServer);
    // Pictures written by our writers; the comparison is between a file load and an address load.
    TQuillotIO IO;
    auto B = qvio::MakeRGB(40, 30);
    IO.AttachQxBitmap(B.get());
    IO.SaveToFile(Dir + "/a.png");
    IO.SaveToFile(Dir + "/b.jpg");
    int Out[2];
    ASSERT_EQ(pipe(Out), 0);
    Pid = fork();
    if (Pid == 0) {
      dup2(Out[1], 1);
      close(Out[0]);
      execlp("python3", "python3", (Dir + "/server.py").c_str(), Dir.c_str(), nullptr);
      _exit(127);
    }
    close(Out[1]);
    char Buf[32] = {};
    ssize_t N = read(Out[0], Buf, sizeof Buf - 1);
    close(Out[0]);
    ASSERT_GT(N, 0) << "the local server did not start";
    Base = "http://127.0.0.1:" + std::string(Buf, static_cast<size_t>(N - 1));
  }
  void TearDown() override {
    if (Pid > 0) {
      kill(Pid, SIGTERM);
      waitpid(Pid, nullptr, 0);
    }
    if (!Dir.empty()) qvio::Shell("rm -rf " + Dir);
  }
  std::string Dir, Base;
  pid_t Pid = -1;
};

}  // namespace

TEST_F(UrlDownload, PicturesLoadAsFromFiles) {
  for (const char* Name : {"a.png", "b.jpg"}) {
    TQxBitmap FromFile, FromUrl;
    TQuillotIO F, U;
    F.AttachQxBitmap(&FromFile);
    U.AttachQxBitmap(&FromUrl);
    F.LoadFromFile(Dir + "/" + Name);
    std::vector<int32_t> Percents;
    U.OnProgress = [&](TObject*, int32_t P) { Percents.push_back(P); };
    U.LoadFromFile(Base + "/pic/" + Name);
    ASSERT_FALSE(U.Aborting) << Name;
    EXPECT_EQ(qvio::RgbOf(FromUrl), qvio::RgbOf(FromFile)) << Name;
    ASSERT_FALSE(Percents.empty());
  }
  // A redirect is followed.
  TQxBitmap B;
  TQuillotIO IO;
  IO.AttachQxBitmap(&B);
  IO.LoadFromFile(Base + "/moved");
  EXPECT_FALSE(IO.Aborting);
  EXPECT_EQ(B.Width(), 40);
  // No content length: read to the end of the connection.
  IO.LoadFromFile(Base + "/nolength");
  EXPECT_FALSE(IO.Aborting);
}

TEST_F(UrlDownload, FailuresAreReportedNeverRaised) {
  TMemoryStream M;
  std::string Ext;
  struct Case {
    std::string Url;
    bool Took;
  } cases[] = {{Base + "/missing.png", false},  // 404
               {"http://127.0.0.1:1/x.png", false},  // nothing listens
               {"ftp://127.0.0.1/x.png", false},     // plain-text transfer is not offered
               {"gopher://127.0.0.1/x", false},
               {"http://127.0.0.1", false},          // no path
               {"http://user@127.0.0.1/x", false}};  // a user without a password
  for (const Case& c : cases) {
    M.Clear();
    EXPECT_EQ(QxDownloadURL(c.Url, M, "", "", "", nullptr, nullptr, nullptr, Ext), c.Took) << c.Url;
  }
  // A server that sends more than it announced is not read past its announcement.
  M.Clear();
  EXPECT_TRUE(QxDownloadURL(Base + "/toolong", M, "", "", "", nullptr, nullptr, nullptr, Ext));
  EXPECT_EQ(M.Size(), 100);
  // The content type's subtype.
  M.Clear();
  EXPECT_TRUE(QxDownloadURL(Base + "/pic/a.png", M, "", "", "", nullptr, nullptr, nullptr, Ext));
  EXPECT_EQ(Ext, "png");
  // The size limit holds whatever the server says.
  int64_t Keep = QxMaxDownloadSize;
  QxMaxDownloadSize = 50;
  M.Clear();
  QxDownloadURL(Base + "/pic/a.png", M, "", "", "", nullptr, nullptr, nullptr, Ext);
  EXPECT_EQ(M.Size(), 50);
  QxMaxDownloadSize = Keep;
  // A failed load through the component sets Aborting.
  TQxBitmap B;
  TQuillotIO IO;
  IO.AttachQxBitmap(&B);
  IO.LoadFromFile(Base + "/missing.png");
  EXPECT_TRUE(IO.Aborting);
}

TEST_F(UrlDownload, AbortStopsASlowTransfer) {
  TMemoryStream M;
  std::string Ext;
  std::atomic<bool> Abort{false};
  std::thread Stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Abort = true;
  });
  auto T0 = std::chrono::steady_clock::now();
  bool Took = QxDownloadURL(Base + "/slow", M, "", "", "", nullptr, nullptr, &Abort, Ext);
  auto Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
  Stopper.join();
  EXPECT_TRUE(Took);
  EXPECT_LT(M.Size(), 10000000);
  EXPECT_LT(Seconds, 20.0);  // the whole body would take 50 s
}
