#include "web/http/handler.h"

#include "web/http/http_exception.h"
#include "web/http/http_request.h"
#include "web/http/response.h"

namespace web {

Handler::Handler(HttpServer* server, std::string_view name) : server_(server) {
  prefix_.reserve(name.size() + 2);
  prefix_ += '/';
  prefix_ += name;
  prefix_ += '/';
}

int Handler::Score(const HttpRequest& request) const {
  const std::string& prefix = GetPrefix();
  return request.url().starts_with(prefix) ? static_cast<int>(prefix.size()) : -1;
}

void HandlerError::WriteErrorPage(Connection& connection, const HttpException& error) const {
  try {
    SocketWriteText(connection, ErrorPageText(error));
  } catch (const FileException&) {
    // The peer has gone: nobody is left to read the page.
  }
}

}  // namespace web
