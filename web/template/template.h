// The page-template language of the web skins.
//
// A page is text with commands between "<?" and "?>"; a command never spans lines, a
// block does. Plain text is copied out, every line ends in "\r\n". Commands (names are
// case-sensitive, arguments are split at "," and kept exactly as written, ")" is dropped
// anywhere in them):
//   print(v)  printu(v)      the variable's value; printu passes it through EncodeUrlTokens
//   set(v,value)             stores the value as written
//   if(v) ... else ... endif the first branch when v exists and is not empty
//   include(file)            runs a skin file as a page of its own, same output and variables
//   loop(type,a1..a5) ... endloop   run by the page's context (web/pages/template_loop.cpp)
//   qcontrol(cmd,a1..a3)            run by the page's context (web/pages/template_qcontrol.cpp)
// The whole page is parsed before anything runs; a syntax error becomes an error text at
// its place and the rest of the page still runs.
//
// Pipeline, one stage per function: TokenizeTemplateLine (text -> tokens),
// ParseTemplateCommand (one command text -> token), ParseTemplateNode (tokens -> one
// node with its blocks), ExecuteTemplateNodes (nodes -> output). RunTemplatePage does
// all of it for a page file.
//
// The language knows nothing of what the pages show: loop and qcontrol are parsed here
// and run by the TemplateContext a page runs against (web/pages gives it the device).
//
// Limits: blocks nest at most kMaxTemplateBlockDepth deep and includes kMaxIncludeDepth
// deep, with at most kMaxIncludesPerPage includes in one page run; beyond them the
// command writes an error text instead.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace web {

inline constexpr int kMaxIncludeDepth = 16;
inline constexpr int kMaxIncludesPerPage = 1000;
inline constexpr int kMaxTemplateBlockDepth = 100;

// The page variables: one flat, case-sensitive namespace shared by a page, its includes
// and every node. A missing variable reads as the empty text.
using PageVariables = std::map<std::string, std::string, std::less<>>;

// The value of a variable, or the empty text; never creates it.
const std::string& GetPageVariable(const PageVariables& variables, std::string_view name);

// Where a page's text goes: the connection's socket, or a string in tests.
class TemplateOutput {
 public:
  virtual ~TemplateOutput() = default;
  virtual void Write(std::string_view text) = 0;
};

class StringTemplateOutput : public TemplateOutput {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Turns an include's file name into the full path of a skin file; false (with an error
// text in `out`) when it cannot. ResolveSkinFile (web/skin_files.h) in the server.
using TemplateFileResolver = std::function<bool(std::string_view name, std::string& out)>;

// One page run: the requested page, or an include inside it (which shares the output,
// the resolver and the include budget of its parent).
class TemplatePage {
 public:
  // The requested page. `path` is Windows-form.
  TemplatePage(std::string path, TemplateOutput& output, TemplateFileResolver resolver);
  // An included page of `parent`.
  TemplatePage(std::string path, TemplatePage& parent);
  TemplatePage(const TemplatePage&) = delete;
  TemplatePage& operator=(const TemplatePage&) = delete;

  const std::string& path() const { return path_; }
  TemplateOutput& output() const { return *output_; }
  const TemplateFileResolver& resolver() const { return *resolver_; }
  // 0 for the requested page, 1 for a file it includes, and so on.
  int depth() const { return depth_; }
  // Counts one more include of the whole run; false once the budget is spent.
  bool TakeInclude();

 private:
  std::string path_;
  TemplateOutput* output_;
  std::shared_ptr<TemplateFileResolver> resolver_;
  std::shared_ptr<int> includes_;
  int depth_ = 0;
};

// One lexical unit: a run of literal text (name "html") or a command with its arguments.
struct Token {
  std::string name;
  std::vector<std::string> args;
  std::string text;
};
using TokenList = std::deque<Token>;

class Exp;
using ExpList = std::vector<std::unique_ptr<Exp>>;
class ExpLoop;
class ExpQueueControl;

// What a page runs against: it runs the loops and the queue commands, whose meaning lies
// outside the language.
class TemplateContext {
 public:
  virtual ~TemplateContext() = default;
  // Runs a loop node (its arguments resolved): sets variables and runs its body
  // (ExpLoop::RunBody) once per item.
  virtual void RunLoop(ExpLoop& loop, TemplateOutput& output, PageVariables& variables) = 0;
  // Runs a queue command (its arguments resolved).
  virtual void RunQueueControl(ExpQueueControl& command, TemplateOutput& output, PageVariables& variables) = 0;
};

// A node of the parsed page. Execute writes to the output, reads and sets variables and
// may call the context; its errors propagate (they end the page).
class Exp {
 public:
  explicit Exp(TemplatePage& page) : page_(&page) {}
  virtual ~Exp() = default;
  Exp(const Exp&) = delete;
  Exp& operator=(const Exp&) = delete;

  virtual void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) = 0;
  TemplatePage& page() const { return *page_; }

 private:
  TemplatePage* page_;
};

// Literal text; also what an ExpError writes.
class ExpHtml : public Exp {
 public:
  ExpHtml(TemplatePage& page, std::string text) : Exp(page), text_(std::move(text)) {}
  void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) override;
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// A command that could not be parsed: writes its message.
class ExpError : public ExpHtml {
 public:
  using ExpHtml::ExpHtml;
};

// print (encode false) and printu (encode true).
class ExpEcho : public Exp {
 public:
  ExpEcho(TemplatePage& page, std::string name, bool encode) : Exp(page), name_(std::move(name)), encode_(encode) {}
  void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) override;

 private:
  std::string name_;
  bool encode_;
};

class ExpSet : public Exp {
 public:
  ExpSet(TemplatePage& page, std::string name, std::string value)
      : Exp(page), name_(std::move(name)), value_(std::move(value)) {}
  void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) override;

 private:
  std::string name_;
  std::string value_;
};

class ExpIf : public Exp {
 public:
  ExpIf(TemplatePage& page, std::string name) : Exp(page), name_(std::move(name)) {}
  void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) override;
  ExpList& thenList() { return then_; }
  ExpList& elseList() { return else_; }

 private:
  std::string name_;
  ExpList then_;
  ExpList else_;
};

class ExpInclude : public Exp {
 public:
  ExpInclude(TemplatePage& page, std::string name) : Exp(page), name_(std::move(name)) {}
  void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) override;

 private:
  std::string name_;
};

// loop(ltype, larg1 .. larg5) body endloop; the context runs it.
class ExpLoop : public Exp {
 public:
  ExpLoop(TemplatePage& page, std::vector<std::string> args);
  void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) override;
  ExpList& body() { return body_; }
  // ltype, larg1 .. larg5 as the node holds them now (after ResolveArguments: resolved).
  const std::string& arg(int index) const { return args_[static_cast<std::size_t>(index)]; }
  // "from_url" in ltype, larg1..larg5 becomes the variable of the same name ("ltype",
  // "larg1" ...), HTML-unescaped (the variables hold escaped text). Stored in the node,
  // so a nested loop keeps the first value.
  void ResolveArguments(const PageVariables& variables);
  // Whether the argument was taken from the request (from_url) rather than written in
  // the page.
  bool argFromUrl(int index) const { return fromUrl_[static_cast<std::size_t>(index)]; }
  // The body once, in order, with the same output, variables and context.
  void RunBody(TemplateOutput& output, PageVariables& variables, TemplateContext& context);

 private:
  std::string args_[6];
  bool fromUrl_[6] = {};
  ExpList body_;
};

// qcontrol(qcmd, qarg1 .. qarg3); the context runs it.
class ExpQueueControl : public Exp {
 public:
  ExpQueueControl(TemplatePage& page, std::vector<std::string> args);
  void Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) override;
  // qcmd, qarg1 .. qarg3 as the node holds them now.
  const std::string& arg(int index) const { return args_[static_cast<std::size_t>(index)]; }
  // "from_url" in qcmd becomes the variable "qcmd", in qarg1..qarg3 the variable of the
  // same name; each HTML-unescaped (the variables hold escaped text). Stored in the node.
  void ResolveArguments(const PageVariables& variables);

 private:
  std::string args_[4];
};

// Appends the tokens of one line (which carries its own "\r\n") to `tokens`.
void TokenizeTemplateLine(std::string_view line, TokenList& tokens);
// The token of one command text (what stood between "<?" and "?>"), or nothing for an
// empty command or an empty name.
std::optional<Token> ParseTemplateCommand(std::string_view command);
// Takes tokens from the head of the list and appends exactly one node (with its block)
// to `nodes`; nothing when the list is empty.
void ParseTemplateNode(TokenList& tokens, ExpList& nodes, TemplatePage& page);

// Tokenizes and parses a whole page text; lines end at "\n" (a "\r" before it is
// dropped), and every line, the last one too, gets "\r\n".
ExpList ParseTemplateText(std::string_view text, TemplatePage& page);
// Runs the nodes in order; with `release` each node is deleted right after it ran.
void ExecuteTemplateNodes(ExpList& nodes, TemplateOutput& output, PageVariables& variables, TemplateContext& context,
                          bool release = false);

// Reads the page's file, parses it, sets "last_query" from the setting
// SQL_LastSearchQuery (HTML-escaped) when that exists, and runs the nodes; writes to the
// page's output. A file that cannot be read throws FileException (web/http_exception.h).
void RunTemplatePage(TemplatePage& page, PageVariables& variables, TemplateContext& context);
// The same over a text instead of a file (the page's path is not read).
void RunTemplateText(std::string_view text, TemplatePage& page, PageVariables& variables, TemplateContext& context);

}  // namespace web
