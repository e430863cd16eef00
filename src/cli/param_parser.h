#pragma once

#include <map>
#include <string>
#include <vector>

namespace kestrane {

// A parameter object: receives the arguments the parser assigns to it. Objects are owned by the
// caller and destroyed as their concrete kind.
class Param {
public:
    virtual bool accept(std::string name, std::string value) = 0;

protected:
    Param() = default;
    Param(const Param&) = default;
    Param& operator=(const Param&) = default;
    ~Param() = default;
};

// Receives every argument that is not an option; keeps the last one.
class PositionalParam final : public Param {
public:
    bool accept(std::string name, std::string value) override;
    const std::string& value() const { return m_value; }
    // How many arguments it received.
    size_t count() const { return m_count; }

private:
    std::string m_value;
    size_t m_count = 0;
};

// An option with a value. Present when its name is not empty after parsing. Given more than once,
// the last value is its value; values() holds them all in order.
class ValueParam final : public Param {
public:
    bool accept(std::string name, std::string value) override;
    bool present() const { return !m_name.empty(); }
    const std::string& name() const { return m_name; }
    const std::string& value() const { return m_value; }
    const std::vector<std::string>& values() const { return m_values; }

private:
    std::string m_name;
    std::string m_value;
    std::vector<std::string> m_values;
};

// An option without a value. Present when its name is not empty after parsing.
class FlagParam final : public Param {
public:
    bool accept(std::string name, std::string value) override;
    bool present() const { return !m_name.empty(); }
    const std::string& name() const { return m_name; }

private:
    std::string m_name;
};

// Receives parse errors as (code, detail); answers false for the parser's own codes.
class ParamErrorHandler : public Param {
public:
    bool accept(std::string name, std::string value) override;

    // The first fault reported, in words for the person who typed the arguments ("" if none).
    const std::string& problem() const { return m_problem; }

private:
    std::string m_problem;
};

inline constexpr const char* kUnknownParam = "UNKNOWN_PARAM";
inline constexpr const char* kParamNoValue = "PARAM_NO_VALUE";

// Which prefixes begin an option: "-" and "--" everywhere, "/" on Windows as well. On POSIX every
// absolute path begins with "/", so there "/" must not make an option.
enum class OptionSyntax { Posix, Windows };

#ifdef _WIN32
inline constexpr OptionSyntax kNativeOptionSyntax = OptionSyntax::Windows;
#else
inline constexpr OptionSyntax kNativeOptionSyntax = OptionSyntax::Posix;
#endif

class ParamParser {
public:
    explicit ParamParser(OptionSyntax syntax = kNativeOptionSyntax) : m_syntax(syntax) {}

    void set_positional(Param* positional) { m_positional = positional; }
    void set_error_handler(Param* handler) { m_error_handler = handler; }
    // A value option; a name already present is replaced.
    void add_param(std::string name, Param* param) { m_value_options[std::move(name)] = param; }
    // An option without value; a name already present is replaced.
    void add_flag(std::string name, Param* param) { m_flag_options[std::move(name)] = param; }
    // Two conventions of today's command lines on top of the syntax above: "--" alone ends the
    // options (every later argument is a non-option argument, "-x" too), and "--name=value"
    // gives a value option its value like "--name:value". Off by default.
    void set_double_dash_conventions(bool enabled) { m_double_dash_conventions = enabled; }

    // True when every argument was assigned and every accept answered true.
    // argv[0] is never examined. Stops at the first error, which goes to the error handler.
    bool parse(int argc, const char* const* argv);

    // Removes an option prefix in place; true when the text is an option.
    bool strip_option_prefix(std::string& text) const;

private:
    bool report(const char* code, const std::string& detail);
    // Where an option's name ends and its value begins: the first ":" (or "=", after "--" with
    // the conventions), npos for none.
    size_t value_separator(const char* argument, const std::string& name) const;

    OptionSyntax m_syntax;
    bool m_double_dash_conventions = false;
    Param* m_positional = nullptr;
    Param* m_error_handler = nullptr;
    std::map<std::string, Param*> m_value_options;
    std::map<std::string, Param*> m_flag_options;
};

} // namespace kestrane
