#include "web/http/http_request.h"

#include <gtest/gtest.h>

#include <optional>

#include "web/http/http_exception.h"
#include "web/http/http_tables.h"

namespace web {

namespace {

int ParseStatus(std::string_view head) {
  HttpRequest request;
  try {
    request.Parse(head);
  } catch (const HttpException& e) {
    EXPECT_TRUE(e.extraHeaders().empty());
    EXPECT_TRUE(e.message().empty());
    return e.status();
  }
  return 200;
}

TEST(HttpRequestParse, HeadsAndTheirOutcome) {
  const struct {
    std::string head;
    int status;
  } cases[] = {
      {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", 200},
      {"get /a HTTP/1.0\r\n\r\n", 200},
      {"TRACE / http/1.1\r\n\r\n", 200},
      {"GET /\r\n\r\n", 400},
      {"GET  / HTTP/1.1\r\n\r\n", 400},
      {"GET / HTTP/1.1 \r\n\r\n", 400},
      {" GET / HTTP/1.1\r\n\r\n", 400},
      {"BREW / HTTP/1.1\r\n\r\n", 405},
      {"BREW / FTP/1.0\r\n\r\n", 405},
      {"GET / FTP/1.0\r\n\r\n", 400},
      {"GET / HTTP/\r\n\r\n", 400},
      {"GET / HTTP/-1\r\n\r\n", 400},
      {"GET http://host/ HTTP/1.1\r\n\r\n", 400},
      {"GET * HTTP/1.1\r\n\r\n", 400},
      {"GET /a%00b HTTP/1.1\r\n\r\n", 400},
      {"GET /a%0d%0aX:%20y HTTP/1.1\r\n\r\n", 400},
      {"GET /a%1Fb HTTP/1.1\r\n\r\n", 400},
      {"GET /a%7f HTTP/1.1\r\n\r\n", 400},
      {"GET /a?q=%00 HTTP/1.1\r\n\r\n", 400},
      {"GET /a?q=x%0Ay HTTP/1.1\r\n\r\n", 200},
      {"GET /a\tb HTTP/1.1\r\n\r\n", 400},
      {"GET / HTTP/1.1\nHost: x\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nX: a\nb\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nX: a\tb\r\n\r\n", 200},
      {std::string("GET / HTTP/1.1\r\nX\0: y\r\n\r\n", 26), 400},
      {"\r\n\r\n", 400},
      {"\r\n\r", 400},
      {"GET / HTTP/1.1\r\n", 400},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseStatus(c.head), c.status) << c.head;
  }
}

TEST(HttpRequestParse, FieldsOfAHead) {
  HttpRequest request;
  request.Parse(
      "get /stream/12/a%20b.mp3 HTTP/1.0\r\n"
      "Host:  example:8047  \r\n"
      "X-Thing: A\r\n"
      "x-thing: B\r\n"
      "NoColonHere\r\n"
      "Referer: http://h/p?a=b\r\n\r\n");
  EXPECT_EQ(request.method(), kHttpGet);
  EXPECT_EQ(request.url(), "/stream/12/a b.mp3");
  EXPECT_FLOAT_EQ(request.version(), 1.0f);
  const HttpRequest::HeaderMap expected = {
      {"host", "example:8047"}, {"x-thing", "B"}, {"referer", "http://h/p?a=b"}};
  EXPECT_EQ(request.headers(), expected);
  ASSERT_NE(request.Header("host"), nullptr);
  EXPECT_EQ(request.Header("authorization"), nullptr);
}

TEST(HttpRequestParse, CanonicalUrls) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"/", "/"},
      {"/a%20b/../c", "/c"},
      {"/x/%2e%2e/y", "/y"},
      {"/../../etc/passwd", "/etc/passwd"},
      {"/a/./b/.", "/a/b/"},
      {"/a/b/..", "/a/"},
      {"/a\\..\\..\\b", "/b"},
      {"/a%5c..%5c..%5cb", "/b"},
      {"/..%2f..%2fsecret", "/secret"},
      {"/%zz%4", "/%zz%4"},
      {"/s?q=%26x&y=a+b", "/s?q=&x&y=a+b"},
      {"/s?next=/../x", "/s?next=/../x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CanonicalizeUrl(c.in), c.out) << c.in;
  }
}

TEST(HttpRequestParse, TraceEchoKeepsTheHeadButNoCredentials) {
  HttpRequest request;
  request.Parse(
      "TRACE /x HTTP/1.1\r\n"
      "Authorization: Basic YWxpY2U6c2VjcmV0\r\n"
      "Host: h\r\n"
      "  proxy-AUTHORIZATION : Basic eHh4\r\n"
      "X-Authorization-Note: kept\r\n\r\n");
  EXPECT_EQ(request.TraceEcho(), "TRACE /x HTTP/1.1\r\nHost: h\r\nX-Authorization-Note: kept\r\n\r\n");
}

TEST(HttpTables, VersionsAndLookups) {
  EXPECT_FLOAT_EQ(ParseHttpVersion("HTTP/1.1"), 1.1f);
  EXPECT_FLOAT_EQ(ParseHttpVersion("http/2"), 2.0f);
  EXPECT_EQ(ParseHttpVersion("HTTPS/1.1"), 0.0f);
  EXPECT_EQ(ParseHttpVersion("HTTP/x"), 0.0f);

  EXPECT_EQ(ContentCodeForExtension(".MP3"), kContentMpeg);
  for (const char* extension : {".svg", ".SVG", ".Svg"}) {
    EXPECT_STREQ(ContentTypeForCode(ContentCodeForExtension(extension)), "image/svg+xml") << extension;
  }
  for (const char* extension : {".pdf", ".PDF"}) {
    EXPECT_STREQ(ContentTypeForCode(ContentCodeForExtension(extension)), "application/pdf") << extension;
  }
  EXPECT_EQ(ContentCodeForExtension("mp3"), kContentText);
  EXPECT_STREQ(ContentTypeForCode(99), "text/plain; charset=iso-8859-1");
  EXPECT_STREQ(HttpStatusText(404), "File Not Found");
  EXPECT_STREQ(HttpStatusText(401), "Unauthorized");

  const std::vector<std::string_view> pieces = SplitOnChar("a  b", ' ');
  EXPECT_EQ(pieces, (std::vector<std::string_view>{"a", " b"}));
}

TEST(HttpRequestParse, BasicCredentialsAreDecodedStrictly) {
  const struct {
    std::string value;
    std::optional<std::string> credentials;  // nullopt: refused
  } cases[] = {
      {"Basic YWxpY2U6c2VjcmV0", "alice:secret"},
      {"Basic Ym9iOnBhOnNz", "bob:pa:ss"},
      {"Basic YTpi", "a:b"},
      {"Basic YTpiYw==", "a:bc"},
      {"Basic YTpiY2Q=", "a:bcd"},
      {"Basic w6k6w7w=", "\xc3\xa9:\xc3\xbc"},
      {"Basic ", std::nullopt},
      {"Basic", std::nullopt},
      {"basic YWxpY2U6c2VjcmV0", std::nullopt},          // the scheme as written
      {"Basic  YWxpY2U6c2VjcmV0", std::nullopt},         // one blank only
      {"Basic !YWxpY2U6c2VjcmV0!*$", std::nullopt},      // characters outside the alphabet
      {"Basic YWxp Y2U6 c2Vj cmV0", std::nullopt},       // split by blanks
      {"Basic YWxpY2U6c2VjcmV0\t", std::nullopt},
      {"Basic YWxpY2U6c2VjcmV", std::nullopt},           // not a whole number of quads
      {"Basic YTpiYw", std::nullopt},                    // padding missing
      {"Basic YTpiYw=", std::nullopt},
      {"Basic YT==YTpi", std::nullopt},                  // padding inside
      {"Basic YTpiYx==", std::nullopt},                  // bits after the last byte
      {"Basic YTpiY2Q==", std::nullopt},
      {"Basic YTpiY2R=", std::nullopt},
      {"Basic ====", std::nullopt},
      {"Basic YWxp-2U6_2VjcmV0", std::nullopt},          // the URL alphabet is another one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BasicCredentials(c.value), c.credentials) << c.value;
  }
}

}  // namespace

}  // namespace web
