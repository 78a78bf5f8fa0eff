// Tokenizer and parser of the page-template language: page text to a list of nodes.
#include <algorithm>

#include "platform/text/text.h"
#include "web/template/template.h"

namespace web {

namespace {

using platform::TrimView;

Token HtmlToken(std::string_view text) {
  Token token;
  token.name = "html";
  token.text = text;
  return token;
}

std::unique_ptr<Exp> Error(TemplatePage& page, std::string message) {
  return std::make_unique<ExpError>(page, std::move(message));
}

std::string WrongCount(std::string_view name) {
  return "'" + std::string(name) + "' command has wrong number of arguments.";
}

class Parser {
 public:
  Parser(TokenList& tokens, TemplatePage& page) : tokens_(tokens), page_(page) {}

  void Node(ExpList& nodes) {
    if (tokens_.empty()) return;
    Token token = std::move(tokens_.front());
    tokens_.pop_front();
    const std::string& name = token.name;
    const std::size_t n = token.args.size();

    if (name == "html") {
      nodes.push_back(std::make_unique<ExpHtml>(page_, std::move(token.text)));
    } else if (name == "print" || name == "printu") {
      if (n != 1) return nodes.push_back(Error(page_, WrongCount("print")));
      nodes.push_back(std::make_unique<ExpEcho>(page_, std::move(token.args[0]), name == "printu"));
    } else if (name == "set") {
      if (n != 2) return nodes.push_back(Error(page_, WrongCount(name)));
      nodes.push_back(std::make_unique<ExpSet>(page_, std::move(token.args[0]), std::move(token.args[1])));
    } else if (name == "include") {
      if (n != 1) return nodes.push_back(Error(page_, WrongCount(name)));
      nodes.push_back(std::make_unique<ExpInclude>(page_, std::move(token.args[0])));
    } else if (name == "qcontrol") {
      if (n < 1 || n > 4) return nodes.push_back(Error(page_, WrongCount(name)));
      nodes.push_back(std::make_unique<ExpQueueControl>(page_, std::move(token.args)));
    } else if (name == "if") {
      if (n != 1) return nodes.push_back(Error(page_, WrongCount(name)));
      if (depth_ >= kMaxTemplateBlockDepth) return nodes.push_back(Error(page_, TooDeep(name)));
      auto node = std::make_unique<ExpIf>(page_, std::move(token.args[0]));
      ++depth_;
      IfBlock(*node);
      --depth_;
      nodes.push_back(std::move(node));
    } else if (name == "loop") {
      if (n < 1 || n > 6) return nodes.push_back(Error(page_, WrongCount(name)));
      if (depth_ >= kMaxTemplateBlockDepth) return nodes.push_back(Error(page_, TooDeep(name)));
      auto node = std::make_unique<ExpLoop>(page_, std::move(token.args));
      ++depth_;
      Block(node->body(), "endloop");
      --depth_;
      nodes.push_back(std::move(node));
    } else {
      nodes.push_back(Error(page_, "Unrecognized command '" + name + "'."));
    }
  }

 private:
  static std::string TooDeep(std::string_view name) {
    return "'" + std::string(name) + "' command is nested more than " + std::to_string(kMaxTemplateBlockDepth) +
           " blocks deep.";
  }

  // Nodes until the end word (taken) or the end of the tokens.
  void Block(ExpList& nodes, std::string_view endWord) {
    while (!tokens_.empty()) {
      if (tokens_.front().name == endWord) {
        tokens_.pop_front();
        return;
      }
      Node(nodes);
    }
  }

  void IfBlock(ExpIf& node) {
    while (!tokens_.empty()) {
      const std::string& name = tokens_.front().name;
      if (name == "endif") {
        tokens_.pop_front();
        return;
      }
      if (name == "else") {
        tokens_.pop_front();
        Block(node.elseList(), "endif");
        return;
      }
      Node(node.thenList());
    }
  }

  TokenList& tokens_;
  TemplatePage& page_;
  int depth_ = 0;
};

}  // namespace

std::optional<Token> ParseTemplateCommand(std::string_view command) {
  const std::string_view text = TrimView(command);
  if (text.empty()) return std::nullopt;
  Token token;
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos) {
    token.name = text;
    return token;
  }
  token.name = TrimView(text.substr(0, open));
  if (token.name.empty()) return std::nullopt;
  std::string rest;
  for (char c : text.substr(open + 1)) {
    if (c != ')') rest.push_back(c);
  }
  for (std::string_view arg : platform::SplitDroppingEmpty(TrimView(rest), ",")) token.args.emplace_back(arg);
  return token;
}

void TokenizeTemplateLine(std::string_view line, TokenList& tokens) {
  std::string_view rest = line;
  while (!rest.empty()) {
    std::size_t open = rest.find("<?");
    if (open == std::string_view::npos) {
      tokens.push_back(HtmlToken(rest));
      return;
    }
    if (rest.substr(open).starts_with("<?xml")) {
      // An XML declaration is literal text; a later command on the line still counts.
      const std::size_t close = rest.find("?>", open + 5);
      if (close == std::string_view::npos) return;
      const std::size_t next = rest.find("<?", close + 2);
      if (next == std::string_view::npos) {
        tokens.push_back(HtmlToken(rest));
        return;
      }
      open = next;
    }
    if (open > 0) tokens.push_back(HtmlToken(rest.substr(0, open)));
    rest.remove_prefix(open + 2);
    const std::size_t close = rest.find("?>");
    if (close == std::string_view::npos) return;  // an unclosed command drops the rest of its line
    if (std::optional<Token> token = ParseTemplateCommand(rest.substr(0, close))) tokens.push_back(std::move(*token));
    rest.remove_prefix(close + 2);
  }
}

void ParseTemplateNode(TokenList& tokens, ExpList& nodes, TemplatePage& page) { Parser(tokens, page).Node(nodes); }

ExpList ParseTemplateText(std::string_view text, TemplatePage& page) {
  TokenList tokens;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (end < text.size() && line.ends_with('\r')) line.remove_suffix(1);
    std::string withEnd(line);
    withEnd += "\r\n";
    TokenizeTemplateLine(withEnd, tokens);
    start = next;
  }
  ExpList nodes;
  Parser parser(tokens, page);
  while (!tokens.empty()) parser.Node(nodes);
  return nodes;
}

}  // namespace web
