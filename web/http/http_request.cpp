#include "web/http/http_request.h"

#include <nettle/base64.h>

#include <cstdint>

#include "platform/text/text.h"
#include "web/http/http_exception.h"
#include "web/http/http_tables.h"

namespace web {

namespace {

[[noreturn]] void BadRequest() { throw HttpException(400); }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}


void DropLastSegment(std::string& out) {
  const std::size_t slash = out.rfind('/');
  out.erase(slash == std::string::npos ? 0 : slash);
}

// Resolves "." and ".." segments of a path that begins with "/"; the result begins with
// "/" too, and ".." at the root stays at the root.
std::string RemoveDotSegments(std::string_view p) {
  std::string out;
  out.reserve(p.size());
  std::size_t i = 0;
  const std::size_t n = p.size();
  while (i < n) {
    const std::string_view rest = p.substr(i);
    if (rest.starts_with("/./")) {
      i += 2;
    } else if (rest == "/.") {
      out.push_back('/');
      break;
    } else if (rest.starts_with("/../")) {
      DropLastSegment(out);
      i += 3;
    } else if (rest == "/..") {
      DropLastSegment(out);
      out.push_back('/');
      break;
    } else {
      std::size_t next = p.find('/', i + 1);
      if (next == std::string_view::npos) next = n;
      out.append(p.substr(i, next - i));
      i = next;
    }
  }
  return out;
}

}  // namespace

// "%XX" becomes its byte; a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]);
      const int lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

std::string CanonicalizeUrl(std::string_view url) {
  if (url.empty() || url.front() != '/') BadRequest();
  const std::size_t q = url.find('?');
  std::string path = PercentDecode(url.substr(0, q));
  for (char& c : path) {
    if (IsControl(static_cast<unsigned char>(c))) BadRequest();
    if (c == '\\') c = '/';
  }
  std::string out = RemoveDotSegments(path);
  if (q != std::string_view::npos) {
    const std::string query = PercentDecode(url.substr(q));
    if (query.find('\0') != std::string::npos) BadRequest();
    out += query;
  }
  return out;
}

void HttpRequest::Parse(std::string_view head) {
  if (head.size() <= 3 || !head.ends_with("\r\n\r\n")) BadRequest();
  if (head.find('\0') != std::string_view::npos) BadRequest();
  raw_.assign(head);
  const std::vector<std::string_view> lines = SplitOnChar(head, '\r');
  ParseRequestLine(lines[0]);
  for (std::size_t i = 1; i < lines.size(); ++i) ParseHeaderLine(lines[i]);
}

void HttpRequest::ParseRequestLine(std::string_view line) {
  for (char c : line) {
    if (IsControl(static_cast<unsigned char>(c))) BadRequest();
  }
  const std::vector<std::string_view> pieces = SplitOnChar(line, ' ');
  if (pieces.size() != 3) BadRequest();
  method_ = HttpMethodCode(pieces[0]);
  if (method_ == 0) throw HttpException(405);
  url_ = CanonicalizeUrl(pieces[1]);
  const std::size_t q = pieces[1].find('?');
  rawQuery_ = q == std::string_view::npos ? std::string() : std::string(pieces[1].substr(q + 1));
  version_ = ParseHttpVersion(pieces[2]);
  if (version_ == 0) BadRequest();
}

void HttpRequest::ParseHeaderLine(std::string_view line) {
  const std::string_view text = platform::TrimView(line);
  for (char c : text) {
    if (c != '\t' && IsControl(static_cast<unsigned char>(c))) BadRequest();
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return;
  std::string name = platform::ToLowerAscii(platform::TrimView(text.substr(0, colon)));
  headers_[std::move(name)] = platform::Trim(text.substr(colon + 1));
}

const std::string* HttpRequest::Header(std::string_view lowerName) const {
  const auto it = headers_.find(lowerName);
  return it == headers_.end() ? nullptr : &it->second;
}

bool HttpRequest::IsCrossSite() const {
  const std::string* site = Header("sec-fetch-site");
  return site && platform::EqualsNoCase(*site, "cross-site");
}

std::string HttpRequest::TraceEcho() const {
  const std::vector<std::string_view> lines = SplitOnChar(raw_, '\r');
  std::string out;
  out.reserve(raw_.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      const std::string_view text = platform::TrimView(lines[i]);
      const std::string name = platform::ToLowerAscii(platform::TrimView(text.substr(0, text.find(':'))));
      if (text.find(':') != std::string_view::npos && (name == "authorization" || name == "proxy-authorization")) {
        continue;
      }
      out.push_back('\r');
    }
    out.append(lines[i]);
  }
  return out;
}

std::optional<std::string> BasicCredentials(std::string_view authorization) {
  if (!authorization.starts_with("Basic ")) return std::nullopt;
  const std::string_view text = authorization.substr(6);
  // The decoder refuses other characters, padding before the end, bits after the last
  // byte and a last quad cut short, but passes over blanks: one text, one encoding, so
  // only the alphabet and "=" get that far.
  static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
  if (text.empty() || text.find_first_not_of(kAlphabet) != std::string_view::npos) return std::nullopt;
  std::string decoded(BASE64_DECODE_LENGTH(text.size()), '\0');
  base64_decode_ctx decoder;
  base64_decode_init(&decoder);
  std::size_t length = 0;
  if (!base64_decode_update(&decoder, &length, reinterpret_cast<std::uint8_t*>(decoded.data()), text.size(),
                            text.data()) ||
      !base64_decode_final(&decoder)) {
    return std::nullopt;
  }
  decoded.resize(length);
  return decoded;
}

}  // namespace web
