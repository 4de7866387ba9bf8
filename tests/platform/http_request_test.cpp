#include "platform/http_request.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/loopback_http_server.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
using test::LoopbackHttpServer;

class HttpRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.listening());
    std::string pattern = (fs::temp_directory_path() / "larkspur-http-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    // The settings belong to the thread and would leak into the next test.
    HttpRequest::setConnectTimeout(-1);
    HttpRequest::setStallLimitSeconds(30);
    HttpRequest::setDownloadCap(20LL * 1024 * 1024);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  // The response pieces of a memory request, released straight away.
  HttpResponse fetch(const std::string& url) {
    auto response = CurlHttp().fetch(T(url));
    EXPECT_TRUE(response.has_value());
    return response.value_or(HttpResponse{});
  }
  std::string target() const { return (dir / "art.jpeg").string(); }
  bool download(const std::string& path) { return HttpRequest::downloadToFile(T(server.url(path)), T(target())); }
  std::size_t filesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }
  static std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  LoopbackHttpServer server;
  fs::path dir;
};

TEST_F(HttpRequestTest, FollowsARedirectToTheFinalStatus) {
  server.route("/old", LoopbackHttpServer::redirect("/new"));
  server.route("/new", LoopbackHttpServer::text(404, "gone"));
  const HttpResponse response = fetch(server.url("/old"));
  EXPECT_EQ(toUtf8(response.status), "404");
  EXPECT_EQ(toUtf8(response.body), "gone");
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].path, "/new");
}

class HttpStatusTest : public HttpRequestTest, public ::testing::WithParamInterface<int> {};

TEST_P(HttpStatusTest, ReportsAnyStatusAsText) {
  server.route("/probe", LoopbackHttpServer::text(GetParam(), "body"));
  HttpRequest* request = HttpRequest::fetch(T(server.url("/probe")));
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->state(), -2);
  EXPECT_EQ(toUtf8(HttpRequest::responseText(request, 0)), std::to_string(GetParam()));
  EXPECT_EQ(toUtf8(HttpRequest::responseText(request, 1)), "body");
  EXPECT_TRUE(HttpRequest::responseText(request, 2).empty());
  EXPECT_NE(toUtf8(HttpRequest::responseText(request, 3)).find("Content-Length: 4"), std::string::npos);
  HttpRequest::release(request);
}

INSTANTIATE_TEST_SUITE_P(Statuses, HttpStatusTest, ::testing::Values(200, 404, 500));

TEST_F(HttpRequestTest, RefusedConnectionReportsZeroAndCurlsError) {
  const std::string url = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/";
  HttpRequest* request = HttpRequest::fetch(T(url));
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->state(), -3);
  EXPECT_EQ(toUtf8(HttpRequest::responseText(request, 0)), "0");
  EXPECT_NE(toUtf8(HttpRequest::responseText(request, 2)).find("127.0.0.1"), std::string::npos);
  HttpRequest::release(request);
}

TEST_F(HttpRequestTest, NoAddressMakesNoRequest) {
  EXPECT_EQ(HttpRequest::fetch(Text()), nullptr);
  EXPECT_FALSE(CurlHttp().fetch(Text()).has_value());
}

TEST_F(HttpRequestTest, OnlyHttpAndHttpsAreFetched) {
  std::ofstream(dir / "secret") << "secret";
  EXPECT_EQ(toUtf8(fetch("file://" + (dir / "secret").string()).status), "0");
  EXPECT_FALSE(HttpRequest::downloadToFile(T("file://" + (dir / "secret").string()), T(target())));
  EXPECT_FALSE(fs::exists(target()));
}

TEST_F(HttpRequestTest, SendsTheFixedUserAgent) {
  server.route("/", LoopbackHttpServer::text(200, "ok"));
  fetch(server.url("/"));
  ASSERT_TRUE(download("/"));
  ASSERT_EQ(server.requests().size(), 2u);
  for (const auto& request : server.requests()) {
    EXPECT_EQ(request.userAgent, "Mozilla/5.0 Gecko/41.0 Firefox/41.0");
  }
}

TEST_F(HttpRequestTest, ReceivesABodyLargerThanTheFirstBuffer) {
  std::string body;
  for (int i = 0; body.size() < 1300 * 1024; ++i) body += std::to_string(i) + ",";
  server.route("/big", LoopbackHttpServer::text(200, body));
  EXPECT_EQ(toUtf8(fetch(server.url("/big")).body), body);
}

TEST_F(HttpRequestTest, StalledServerIsAbandoned) {
  HttpRequest::setStallLimitSeconds(1);
  LoopbackHttpServer::Response stall = LoopbackHttpServer::text(200, "never sent");
  stall.stallAfterHeaders = true;
  server.route("/stall", stall);
  const HttpResponse response = fetch(server.url("/stall"));
  EXPECT_EQ(toUtf8(response.status), "0");
  EXPECT_FALSE(response.error.empty());
  EXPECT_FALSE(download("/stall"));
  EXPECT_EQ(filesInDir(), 0u);
}

TEST_F(HttpRequestTest, DownloadKeepsAnErrorPageAndAnswersTrue) {
  server.route("/missing.jpeg", LoopbackHttpServer::text(404, "no such artwork"));
  ASSERT_TRUE(download("/missing.jpeg"));
  EXPECT_EQ(slurp(target()), "no such artwork");
  EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(HttpRequestTest, DownloadReplacesAnOlderFileWhole) {
  std::ofstream(target()) << "an older and much longer file than the new one";
  server.route("/art", LoopbackHttpServer::text(200, "new"));
  ASSERT_TRUE(download("/art"));
  EXPECT_EQ(slurp(target()), "new");
  EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(HttpRequestTest, DownloadCutMidwayLeavesNoFile) {
  LoopbackHttpServer::Response cut = LoopbackHttpServer::text(200, std::string(200000, 'x'));
  cut.cutAfter = 70000;
  server.route("/cut", cut);
  std::ofstream(target()) << "stale";
  EXPECT_FALSE(download("/cut"));
  EXPECT_EQ(filesInDir(), 0u);
}

class DownloadCapTest : public HttpRequestTest, public ::testing::WithParamInterface<bool> {};

// With a Content-Length libcurl refuses up front; without one the writer
// counts the bytes.
TEST_P(DownloadCapTest, BodyOverTheCapIsRefused) {
  HttpRequest::setDownloadCap(100000);
  LoopbackHttpServer::Response large = LoopbackHttpServer::text(200, std::string(300000, 'y'));
  large.omitContentLength = GetParam();
  server.route("/huge", large);
  server.route("/fits", LoopbackHttpServer::text(200, std::string(100000, 'z')));
  EXPECT_FALSE(download("/huge"));
  EXPECT_EQ(filesInDir(), 0u);
  EXPECT_TRUE(download("/fits"));
}

INSTANTIATE_TEST_SUITE_P(Lengths, DownloadCapTest, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Unannounced" : "Announced"; });

}  // namespace
}  // namespace larkspur
