#include "platform/http_request.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/loopback_http_server.h"
#include "support/temp_dir.h"

namespace larkspur {
namespace {

using test::LoopbackHttpServer;

class HttpRequestTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // The settings belong to the thread and would leak into the next test.
    HttpRequest::setStallLimitSeconds(30);
    HttpRequest::setDownloadCap(20LL * 1024 * 1024);
  }
  HttpResponse fetch(const std::string& url) { return CurlHttp().fetch(T(url)).value_or(HttpResponse{}); }
  bool download(const std::string& path) { return HttpRequest::downloadToFile(T(server.url(path)), T(target)); }
  bool dirEmpty() const { return std::filesystem::is_empty(dir.path()); }

  LoopbackHttpServer server;
  test::TempDir dir;
  std::string target = dir.file("art.jpeg");
};

// An error status is still a complete answer. The body is larger than the
// first receive buffer.
TEST_F(HttpRequestTest, FollowsARedirectToAnErrorPageAndReadsItWholeButNoOtherSchemes) {
  std::string body;
  for (int i = 0; body.size() < 1300 * 1024; ++i) body += std::to_string(i) + ",";
  server.route("/old", {.status = 302, .body = {}, .headers = {{"Location", "/new"}}});
  server.route("/new", LoopbackHttpServer::text(404, body));
  const HttpResponse response = fetch(server.url("/old"));
  EXPECT_EQ(std::tuple(toUtf8(response.status), toUtf8(response.body), toUtf8(response.error)),
            std::tuple("404", body, ""));
  // A refused connection reports status 0 and libcurl's error; only http and
  // https are fetched.
  const HttpResponse refused = fetch("http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/");
  EXPECT_EQ(toUtf8(refused.status), "0");
  EXPECT_NE(toUtf8(refused.error).find("127.0.0.1"), std::string::npos);
  const std::string secret = "file://" + dir.write("secret", "secret");
  EXPECT_EQ(toUtf8(fetch(secret).status), "0");
  EXPECT_FALSE(HttpRequest::downloadToFile(T(secret), T(target)));
  EXPECT_FALSE(std::filesystem::exists(target));
}

// Only a whole body with a 2xx status replaces the file; a broken or stalled
// transfer or an error page leaves neither a partial file nor the old one.
TEST_F(HttpRequestTest, DownloadReplacesTheOldFileOnlyWithAWholeBodyWithinTheCap) {
  HttpRequest::setStallLimitSeconds(1);
  server.route("/cut", {.body = std::string(200000, 'x'), .headers = {}, .cutAfter = 70000});
  server.route("/stall", {.body = "never sent", .headers = {}, .stallAfterHeaders = true});
  server.route("/missing.jpeg", LoopbackHttpServer::text(404, "no such artwork"));
  for (const char* path : {"/cut", "/stall", "/missing.jpeg"}) {
    dir.write("art.jpeg", "stale");
    EXPECT_FALSE(download(path)) << path;
    EXPECT_TRUE(dirEmpty()) << path;
  }
  const HttpResponse stalled = fetch(server.url("/stall"));
  EXPECT_EQ(std::pair(toUtf8(stalled.status), stalled.error.empty()), std::pair(std::string("0"), false));
  server.route("/ok.jpeg", LoopbackHttpServer::text(200, "fresh"));
  dir.write("art.jpeg", "an older and much longer file than the new one");
  ASSERT_TRUE(download("/ok.jpeg"));
  EXPECT_EQ(dir.read("art.jpeg"), "fresh");
  // Without a Content-Length to refuse up front, the writer counts the bytes.
  // A fetch kept in memory is held to the same cap.
  HttpRequest::setDownloadCap(100000);
  server.route("/fits", LoopbackHttpServer::text(200, std::string(100000, 'z')));
  server.route("/huge", {.body = std::string(300000, 'y'), .headers = {}, .omitContentLength = true});
  EXPECT_FALSE(download("/huge"));
  EXPECT_TRUE(dirEmpty());
  EXPECT_TRUE(download("/fits"));
  EXPECT_EQ(toUtf8(fetch(server.url("/huge")).status), "0");
  EXPECT_EQ(fetch(server.url("/fits")).body.size(), 100000u);
}

}  // namespace
}  // namespace larkspur
