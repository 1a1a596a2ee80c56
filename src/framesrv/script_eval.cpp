// Reads a script: splits it into tokens and evaluates its statements, one clip at a time.
#include "framesrv/script.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace framesrv {

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

namespace {

struct Token {
    enum Kind { kEnd, kNewline, kIdent, kInt, kFloat, kString, kPunct };
    Kind kind = kEnd;
    std::string text;
    int64_t i = 0;
    double f = 0;
    int line = 0;
};

std::string LinePrefix(int line) {
    return "line " + std::to_string(line) + ": ";
}

// Splits `text` into tokens. A line whose first non-blank character is '\' continues the line
// before it, and a '\' at the end of a line continues it on the next; '#' starts a comment.
bool Tokenize(const std::string& text, std::vector<Token>& tokens, std::string& error) {
    int line = 1;
    size_t i = 0;
    const size_t n = text.size();
    bool lineHasTokens = false;
    auto push = [&](Token t) {
        t.line = line;
        tokens.push_back(std::move(t));
        lineHasTokens = true;
    };
    while (i < n) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
            // Look ahead: a continuation line joins this one.
            size_t j = i;
            while (j < n && (text[j] == ' ' || text[j] == '\t' || text[j] == '\r')) {
                ++j;
            }
            if (j < n && text[j] == '\\') {
                i = j + 1;
                continue;
            }
            if (lineHasTokens) {
                Token t;
                t.kind = Token::kNewline;
                t.line = line - 1;
                tokens.push_back(t);
                lineHasTokens = false;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') {
            while (i < n && text[i] != '\n') {
                ++i;
            }
            continue;
        }
        if (c == '\\') {
            // Only a line end (or a comment) may follow a trailing backslash.
            size_t j = i + 1;
            while (j < n && (text[j] == ' ' || text[j] == '\t' || text[j] == '\r')) {
                ++j;
            }
            if (j < n && text[j] != '\n' && text[j] != '#') {
                error = LinePrefix(line) + "syntax error at '\\'";
                return false;
            }
            while (j < n && text[j] != '\n') {
                ++j;
            }
            if (j < n) {
                ++line;
                ++j;
            }
            i = j;
            continue;
        }
        Token t;
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t b = i;
            while (i < n && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
                ++i;
            }
            t.kind = Token::kIdent;
            t.text = text.substr(b, i - b);
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < n &&
                    std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            size_t b = i;
            bool isFloat = false;
            while (i < n && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) {
                isFloat = isFloat || text[i] == '.';
                ++i;
            }
            t.text = text.substr(b, i - b);
            errno = 0;
            char* end = nullptr;
            if (isFloat) {
                t.kind = Token::kFloat;
                t.f = std::strtod(t.text.c_str(), &end);
            } else {
                t.kind = Token::kInt;
                t.i = std::strtoll(t.text.c_str(), &end, 10);
            }
            if (errno != 0 || end == nullptr || *end != '\0' || t.i > INT32_MAX) {
                error = LinePrefix(line) + "bad number '" + t.text + "'";
                return false;
            }
        } else if (c == '"') {
            size_t close = text.find('"', i + 1);
            size_t eol = text.find('\n', i + 1);
            if (close == std::string::npos || (eol != std::string::npos && eol < close)) {
                error = LinePrefix(line) + "unterminated string";
                return false;
            }
            t.kind = Token::kString;
            t.text = text.substr(i + 1, close - i - 1);
            i = close + 1;
        } else if (std::string("().,=-").find(c) != std::string::npos) {
            t.kind = Token::kPunct;
            t.text = std::string(1, c);
            ++i;
        } else {
            error = LinePrefix(line) + "unexpected character '" + std::string(1, c) + "'";
            return false;
        }
        push(std::move(t));
    }
    if (lineHasTokens) {
        Token t;
        t.kind = Token::kNewline;
        t.line = line;
        tokens.push_back(t);
    }
    Token end;
    end.line = line;
    tokens.push_back(end);
    return true;
}

// Evaluates the tokens statement by statement; every error names the line it is on.
class Evaluator {
public:
    Evaluator(std::vector<Token> tokens, std::string scriptDir) : m_Tokens(std::move(tokens)) {
        m_Context.scriptDir = std::move(scriptDir);
    }

    ScriptCode Run(Clip& clip, std::string& error) {
        while (Peek().kind != Token::kEnd) {
            ScriptCode code = Statement();
            if (code != kScriptOk) {
                error = m_Error;
                return code;
            }
            if (m_Returned) {
                break;
            }
        }
        const Value& result = m_Returned ? m_Result : m_Last;
        if (result.type != Value::kClip) {
            error = LinePrefix(Peek().line) + "the script returns no clip";
            return kScriptError;
        }
        clip = result.clip;
        return kScriptOk;
    }

private:
    const Token& Peek(size_t ahead = 0) const {
        size_t k = std::min(m_Pos + ahead, m_Tokens.size() - 1);
        return m_Tokens[k];
    }
    bool IsPunct(const Token& t, char c) const {
        return t.kind == Token::kPunct && t.text.size() == 1 && t.text[0] == c;
    }
    ScriptCode Fail(const Token& at, const std::string& message, ScriptCode code = kScriptError) {
        m_Error = LinePrefix(at.line) + message;
        return code;
    }
    ScriptCode Unexpected(const Token& at) {
        switch (at.kind) {
        case Token::kEnd:
        case Token::kNewline:
            return Fail(at, "syntax error: unexpected end of line");
        default:
            return Fail(at, "syntax error at '" + at.text + "'");
        }
    }

    ScriptCode Statement() {
        const Token& first = Peek();
        if (first.kind == Token::kIdent && IsPunct(Peek(1), '=')) {
            std::string name = Lower(first.text);
            m_Pos += 2;
            Value v;
            ScriptCode code = Expression(v);
            if (code != kScriptOk) {
                return code;
            }
            if (name == "last") {
                m_Last = std::move(v);
            } else {
                m_Variables[name] = std::move(v);
            }
            return EndOfStatement();
        }
        bool isReturn = first.kind == Token::kIdent && Lower(first.text) == "return";
        if (isReturn) {
            ++m_Pos;
        }
        Value v;
        ScriptCode code = Expression(v);
        if (code != kScriptOk) {
            return code;
        }
        if (isReturn) {
            m_Returned = true;
            m_Result = std::move(v);
        } else if (v.type == Value::kClip) {
            m_Last = std::move(v);
        }
        return EndOfStatement();
    }

    ScriptCode EndOfStatement() {
        if (Peek().kind == Token::kNewline) {
            ++m_Pos;
            return kScriptOk;
        }
        if (Peek().kind == Token::kEnd) {
            return kScriptOk;
        }
        return Unexpected(Peek());
    }

    // expression := primary { '.' name [ '(' arguments ')' ] }
    ScriptCode Expression(Value& out) {
        ScriptCode code = Primary(out);
        while (code == kScriptOk && IsPunct(Peek(), '.')) {
            ++m_Pos;
            const Token& name = Peek();
            if (name.kind != Token::kIdent) {
                return Unexpected(name);
            }
            ++m_Pos;
            std::vector<Argument> args;
            args.push_back(Argument{"", std::move(out)});
            if (IsPunct(Peek(), '(')) {
                code = Arguments(args);
                if (code != kScriptOk) {
                    return code;
                }
            }
            code = Call(name, std::move(args), out);
        }
        return code;
    }

    // Every nested bracket, argument list and sign passes through here once per level.
    ScriptCode Primary(Value& out) {
        const Token& t = Peek();
        if (m_Depth >= kMaxNesting) {
            return Fail(t, "brackets, calls or signs nested deeper than " +
                               std::to_string(kMaxNesting) + " levels");
        }
        struct Level {
            int& depth;
            explicit Level(int& d) : depth(d) { ++depth; }
            ~Level() { --depth; }
        } level(m_Depth);
        switch (t.kind) {
        case Token::kInt:
            out = Value{};
            out.type = Value::kInt;
            out.i = t.i;
            ++m_Pos;
            return kScriptOk;
        case Token::kFloat:
            out = Value{};
            out.type = Value::kFloat;
            out.f = t.f;
            ++m_Pos;
            return kScriptOk;
        case Token::kString:
            out = Value{};
            out.type = Value::kString;
            out.s = t.text;
            ++m_Pos;
            return kScriptOk;
        case Token::kPunct:
            if (IsPunct(t, '-')) {
                ++m_Pos;
                ScriptCode code = Primary(out);
                if (code == kScriptOk && out.type == Value::kInt) {
                    out.i = -out.i;
                } else if (code == kScriptOk && out.type == Value::kFloat) {
                    out.f = -out.f;
                } else if (code == kScriptOk) {
                    return Fail(t, "'-' needs a number");
                }
                return code;
            }
            if (IsPunct(t, '(')) {
                ++m_Pos;
                ScriptCode code = Expression(out);
                if (code != kScriptOk) {
                    return code;
                }
                if (!IsPunct(Peek(), ')')) {
                    return Unexpected(Peek());
                }
                ++m_Pos;
                return kScriptOk;
            }
            return Unexpected(t);
        case Token::kIdent:
            return NameOrCall(out);
        default:
            return Unexpected(t);
        }
    }

    ScriptCode NameOrCall(Value& out) {
        const Token& name = Peek();
        std::string lower = Lower(name.text);
        ++m_Pos;
        if (!IsPunct(Peek(), '(')) {
            if (lower == "true" || lower == "false") {
                out = Value{};
                out.type = Value::kBool;
                out.b = lower == "true";
                return kScriptOk;
            }
            if (lower == "last") {
                if (m_Last.type == Value::kNone) {
                    return Fail(name, "'last' has no clip yet");
                }
                out = m_Last;
                return kScriptOk;
            }
            auto var = m_Variables.find(lower);
            if (var != m_Variables.end()) {
                out = var->second;
                return kScriptOk;
            }
        }
        std::vector<Argument> args;
        if (IsPunct(Peek(), '(')) {
            ScriptCode code = Arguments(args);
            if (code != kScriptOk) {
                return code;
            }
        }
        // A function that takes a clip and was given none works on `last`.
        if (IsFunction(lower) && lower != "avisource" &&
            (args.empty() || !args[0].name.empty() || args[0].value.type != Value::kClip)) {
            if (m_Last.type == Value::kNone) {
                return Fail(name, name.text + ": no clip to work on");
            }
            args.insert(args.begin(), Argument{"", m_Last});
        }
        return Call(name, std::move(args), out);
    }

    // arguments := '(' [ [name '='] expression { ',' [name '='] expression } ] ')'
    ScriptCode Arguments(std::vector<Argument>& args) {
        ++m_Pos; // '('
        if (IsPunct(Peek(), ')')) {
            ++m_Pos;
            return kScriptOk;
        }
        for (;;) {
            Argument arg;
            if (Peek().kind == Token::kIdent && IsPunct(Peek(1), '=')) {
                arg.name = Lower(Peek().text);
                m_Pos += 2;
            }
            ScriptCode code = Expression(arg.value);
            if (code != kScriptOk) {
                return code;
            }
            args.push_back(std::move(arg));
            if (IsPunct(Peek(), ',')) {
                ++m_Pos;
                continue;
            }
            if (IsPunct(Peek(), ')')) {
                ++m_Pos;
                return kScriptOk;
            }
            return Unexpected(Peek());
        }
    }

    ScriptCode Call(const Token& name, std::vector<Argument> args, Value& out) {
        if (!IsFunction(name.text)) {
            return Fail(name, "unknown function or variable '" + name.text + "'");
        }
        std::string error;
        ScriptCode code = CallFunction(name.text, std::move(args), m_Context, out, error);
        if (code != kScriptOk) {
            return Fail(name, error, code);
        }
        return kScriptOk;
    }

    std::vector<Token> m_Tokens;
    size_t m_Pos = 0;
    CallContext m_Context;
    std::map<std::string, Value> m_Variables;
    Value m_Last;
    Value m_Result;
    bool m_Returned = false;
    int m_Depth = 0;
    std::string m_Error;
};

enum ReadResult { kReadOk, kReadFailed, kReadTooLarge };

// Reads a regular file of at most kMaxScriptSize bytes. The open does not wait for a writer,
// so a FIFO in the script's place is refused at once.
ReadResult ReadScriptFile(const std::string& path, std::string& text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return kReadFailed;
    }
    struct stat st {};
    ReadResult result = kReadOk;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = kReadFailed;
    } else if (static_cast<uint64_t>(st.st_size) > kMaxScriptSize) {
        result = kReadTooLarge;
    } else {
        // Read to the end (the file may have grown since), stopping once past the limit.
        text.clear();
        char buffer[16384];
        for (;;) {
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                result = kReadFailed;
                break;
            }
            if (got == 0) {
                break;
            }
            text.append(buffer, static_cast<size_t>(got));
            if (text.size() > kMaxScriptSize) {
                result = kReadTooLarge;
                break;
            }
        }
    }
    ::close(fd);
    return result;
}

} // namespace

ScriptCode EvaluateScriptText(const std::string& text, const std::string& scriptDir, Clip& clip,
                              std::string& error) {
    std::vector<Token> tokens;
    if (!Tokenize(text, tokens, error)) {
        return kScriptError;
    }
    return Evaluator(std::move(tokens), scriptDir).Run(clip, error);
}

ScriptCode EvaluateScript(const std::string& path, Clip& clip, std::string& error) {
    std::string text;
    switch (ReadScriptFile(path, text)) {
    case kReadOk:
        break;
    case kReadTooLarge:
        error = "the script \"" + path + "\" is larger than " + std::to_string(kMaxScriptSize) +
                " bytes";
        return kScriptCannotRead;
    default:
        error = "cannot read the script \"" + path + "\"";
        return kScriptCannotRead;
    }
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    return EvaluateScriptText(text, dir, clip, error);
}

} // namespace framesrv
