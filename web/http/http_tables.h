// The server's fixed tables (methods, status reasons, content types) and the two small
// text routines the request parser is built from.
#pragma once

#include <string_view>
#include <vector>

namespace web {

// Method codes; 0 means "no such method".
enum HttpMethodCodeValue : int {
  kHttpGet = 1,
  kHttpPost = 2,
  kHttpHead = 3,
  kHttpPut = 4,
  kHttpDelete = 5,
  kHttpLink = 6,
  kHttpUnlink = 7,
  kHttpTrace = 8,
};

// Content-type codes, as ContentTypeForCode answers them.
enum HttpContentCode : int {
  kContentText = 0,  // "text/plain; charset=iso-8859-1"
  kContentHtml = 1,
  kContentCss = 2,
  kContentGif = 3,
  kContentJpeg = 4,
  kContentPng = 5,
  kContentIcon = 6,
  kContentMpeg = 7,
  kContentMpegUrl = 8,
  kContentWma = 9,
  kContentWav = 10,
  kContentOgg = 11,
  kContentMp4 = 12,
  kContentSvg = 13,  // skins may hold vector images
  kContentPdf = 14,  // the commonest document on a player's data partition
};

// The method's code, names compared ignoring ASCII case; 0 when the name is not a method.
int HttpMethodCode(std::string_view name);
// The method's name in upper case; "" for an unknown code.
const char* HttpMethodName(int code);
// The reason text of a status code; "" for a code the server never sends.
const char* HttpStatusText(int code);
// The content-type code of a file extension with its dot (".mp3"), compared ignoring
// ASCII case; 0 (plain text) for an extension not in the table.
int ContentCodeForExtension(std::string_view extension);
// The MIME text of a content-type code; a code outside the table gives plain text.
const char* ContentTypeForCode(int code);

// The pieces of `text` between separators, in order, empty pieces kept; the character
// right after a separator is never taken as one ("a  b" split at " " gives "a", " b").
// platform::SplitKeepingEmpty.
std::vector<std::string_view> SplitOnChar(std::string_view text, char separator);

// The number after "HTTP/" (compared ignoring case): digits with an optional fraction;
// 0 when the text does not begin with "HTTP/" or no digit follows.
float ParseHttpVersion(std::string_view text);

}  // namespace web
