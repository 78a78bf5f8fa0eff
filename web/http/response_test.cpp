#include "web/http/response.h"

#include <gtest/gtest.h>

#include <regex>

#include "common/identity.h"
#include "web/http/http_exception.h"
#include "web/http/http_tables.h"

namespace web {

namespace {

constexpr std::time_t kNow = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

TEST(ResponseHeaders, HttpDateIsEnglishUtc) {
  EXPECT_EQ(HttpDateText(kNow), "Sun, 06 Nov 1994 08:49:37");
}

TEST(ResponseHeaders, PlainBlock) {
  EXPECT_EQ(ResponseHeaderBlock(1000, kContentHtml, "", 0, kNow),
            "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
            "Expires: Mon, 26 Jul 1997 05:00:00 GMT\r\n"
            "Content-Type: text/html\r\n"
            "Content-Length: 1000\r\n"
            "Pragma: no-cache\r\n"
            "Connection: close\r\n\r\n");
}

TEST(ResponseHeaders, LengthsAndRanges) {
  const struct {
    std::int64_t length, start, end;  // end -1: no range end
    const char* lines;  // the length lines expected, "" for none
  } cases[] = {
      {1000, 0, -1, "Content-Length: 1000\r\n"},
      {1000, 100, -1, "Content-Length: 900\r\nContent-Range: bytes 100-999/1000\r\n"},
      {1000, 0, 999, "Content-Length: 1000\r\nContent-Range: bytes 0-999/1000\r\n"},
      {1000, 100, 199, "Content-Length: 100\r\nContent-Range: bytes 100-199/1000\r\n"},
      {5000000000LL, 4000000000LL, -1,
       "Content-Length: 1000000000\r\nContent-Range: bytes 4000000000-4999999999/5000000000\r\n"},
      {0, 0, -1, ""},
  };
  for (const auto& c : cases) {
    const std::string block = ResponseHeaderBlock(c.length, kContentMpeg, "", c.start, kNow, c.end);
    EXPECT_NE(block.find(std::string("Content-Type: audio/mpeg\r\n") + c.lines + "Pragma: no-cache\r\n"),
              std::string::npos)
        << block;
  }
  // A stream offers ranges; the line sits with the length lines.
  EXPECT_NE(ResponseHeaderBlock(1000, kContentMpeg, "", 100, kNow, -1, RangeOffer::Bytes)
                .find("Content-Range: bytes 100-999/1000\r\nAccept-Ranges: bytes\r\nPragma: no-cache\r\n"),
            std::string::npos);
  for (std::int64_t start : {std::int64_t{1000}, std::int64_t{2000}, std::int64_t{-1}}) {
    try {
      ResponseHeaderBlock(1000, kContentMpeg, "", start, kNow);
      ADD_FAILURE() << "start " << start << " accepted";
    } catch (const HttpException& e) {
      EXPECT_EQ(e.status(), 500);
    }
  }
  for (std::int64_t end : {std::int64_t{1000}, std::int64_t{99}}) {  // past the content, before the start
    try {
      ResponseHeaderBlock(1000, kContentMpeg, "", 100, kNow, end);
      ADD_FAILURE() << "end " << end << " accepted";
    } catch (const HttpException& e) {
      EXPECT_EQ(e.status(), 500);
    }
  }
}

TEST(ResponseHeaders, AttachmentNameCannotSplitAHeader) {
  const std::string block = ResponseHeaderBlock(10, kContentMpeg, "a\r\nSet-Cookie: x=\"1\"\\.mp3", 0, kNow);
  EXPECT_NE(block.find("Content-Disposition: attachment; filename=\"aSet-Cookie: x=1.mp3\"\r\n"
                       "icy-name:aSet-Cookie: x=\"1\"\\.mp3\r\n"
                       "ice-name:aSet-Cookie: x=\"1\"\\.mp3\r\n"
                       "x-audiocast-name:aSet-Cookie: x=\"1\"\\.mp3\r\n"
                       "Connection: close\r\n\r\n"),
            std::string::npos)
      << block;
  EXPECT_EQ(block.find("\r\nSet-Cookie"), std::string::npos);
}

TEST(ResponseHeaders, LongAttachmentNameIsShortenedOnACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 2000; ++i) name += "\xC3\xA9";  // é
  const std::string block = ResponseHeaderBlock(5000000000LL, kContentMpeg, name, 1, kNow);
  EXPECT_LE(block.size(), 1024u);
  const std::size_t at = block.find("icy-name:") + 9;
  const std::string shown = block.substr(at, block.find("\r\n", at) - at);
  EXPECT_GT(shown.size(), 100u);
  EXPECT_EQ(shown.size() % 2, 0u);
  EXPECT_EQ(shown, name.substr(0, shown.size()));
  EXPECT_TRUE(block.ends_with("Connection: close\r\n\r\n"));
}

TEST(ResponseHeaders, StatusLinesAndErrorPage) {
  g_ProductIdentity.InitFromPath("/usr/bin/trayhub");
  const std::string page = ErrorPageText(
      HttpException(401, "WWW-Authenticate: Basic realm=\"Pallidor HTTP Server\"\r\n", "Authorization failed."));
  const std::regex expected(
      "HTTP/1\\.1 401 Unauthorized\r\n"
      "Server: Kestrova Manager [0-9]+\\.[0-9]+\\.[0-9]+[a-z]?\r\n"
      "Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} GMT\r\n"
      "Content-Type: text/html\r\n"
      "WWW-Authenticate: Basic realm=\"Pallidor HTTP Server\"\r\n"
      "\r\n"
      "<html><title>Pallidor</title><body>Authorization failed\\.</body></html>\r\n");
  EXPECT_TRUE(std::regex_match(page, expected)) << page;
  // A page that is not there (a mistyped address) leads back to the overview.
  const std::string missing = ErrorPageText(HttpException(404, {}, "Not here."));
  EXPECT_TRUE(missing.ends_with("\r\nContent-Type: text/html\r\n\r\n<html><title>Pallidor</title><body>Not here."
                                "<p><a href=\"/\">Back to the overview</a></p></body></html>\r\n"))
      << missing;
  EXPECT_TRUE(StatusLineText(404).starts_with("HTTP/1.1 404 File Not Found\r\n"));
  g_ProductIdentity = ProductIdentity();
}

TEST(ResponseHeaders, DeviceErrorPageEscapesDeviceText) {
  const HttpException e = DeviceErrorException(0x2A, "Device <Timeout>", "a & b");
  EXPECT_EQ(e.status(), 500);
  EXPECT_EQ(e.message(), "500: Server Error<br><br>Code: 0x2A<br>Source: Device &lt;Timeout&gt;<br>Detail: a &amp; b");
}

}  // namespace

}  // namespace web
