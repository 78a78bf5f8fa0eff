#include "web/http/http_tables.h"

#include <cstddef>

#include "platform/text/text.h"

namespace web {

namespace {

constexpr const char* kMethodNames[] = {"GET", "POST", "HEAD", "PUT", "DELETE", "LINK", "UNLINK", "TRACE"};

struct StatusRow {
  int code;
  const char* reason;
};
constexpr StatusRow kStatusRows[] = {
    {200, "OK"},
    {206, "Partial Content"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "File Not Found"},
    {405, "Method Not Allowed"},
    {416, "Requested Range Not Satisfiable"},
    {421, "Misdirected Request"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
    {505, "HTTP Version Not Supported"},
};

constexpr const char* kContentTypes[] = {
    "text/plain; charset=iso-8859-1",
    "text/html",
    "text/css",
    "image/gif",
    "image/jpeg",
    "image/png",
    "image/ico",
    "audio/mpeg",
    "audio/x-mpegurl",
    "audio/x-ms-wma",
    "audio/x-wav",
    "application/ogg",
    "audio/mp4",
    "image/svg+xml",
    "application/pdf",
};

struct ExtensionRow {
  const char* extension;
  int code;
};
constexpr ExtensionRow kExtensions[] = {
    {".htm", kContentHtml},  {".html", kContentHtml}, {".txt", kContentText}, {".css", kContentCss},
    {".gif", kContentGif},   {".jpg", kContentJpeg},  {".jpeg", kContentJpeg}, {".png", kContentPng},
    {".ico", kContentIcon},  {".mp3", kContentMpeg},  {".m3u", kContentMpegUrl}, {".wma", kContentWma},
    {".wav", kContentWav},   {".ogg", kContentOgg},   {".m4a", kContentMp4},  {".m4p", kContentMp4},
    {".m4b", kContentMp4},   {".mp4", kContentMp4},   {".aac", kContentMp4},  {".svg", kContentSvg},
    {".pdf", kContentPdf},
};

}  // namespace

int HttpMethodCode(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kMethodNames); ++i) {
    if (platform::EqualsNoCase(name, kMethodNames[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

const char* HttpMethodName(int code) {
  if (code < 1 || code > static_cast<int>(std::size(kMethodNames))) return "";
  return kMethodNames[code - 1];
}

const char* HttpStatusText(int code) {
  for (const StatusRow& row : kStatusRows) {
    if (row.code == code) return row.reason;
  }
  return "";
}

int ContentCodeForExtension(std::string_view extension) {
  for (const ExtensionRow& row : kExtensions) {
    if (platform::EqualsNoCase(extension, row.extension)) return row.code;
  }
  return kContentText;
}

const char* ContentTypeForCode(int code) {
  if (code < 0 || code >= static_cast<int>(std::size(kContentTypes))) return kContentTypes[kContentText];
  return kContentTypes[code];
}

std::vector<std::string_view> SplitOnChar(std::string_view text, char separator) {
  return platform::SplitKeepingEmpty(text, separator);
}

float ParseHttpVersion(std::string_view text) {
  if (text.size() < 5 || !platform::EqualsNoCase(text.substr(0, 5), "HTTP/")) return 0;
  std::size_t i = 5;
  double value = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 1e6; ++i) {
    value = value * 10 + (text[i] - '0');
    digits = true;
  }
  if (!digits) return 0;
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9' && scale > 1e-6; ++i, scale /= 10) {
      value += (text[i] - '0') * scale;
    }
  }
  return static_cast<float>(value);
}

}  // namespace web
