#include "cli/param_parser.h"

#include <string_view>

namespace kestrane {

bool PositionalParam::accept(std::string, std::string value)
{
    m_value = std::move(value);
    ++m_count;
    return true;
}

bool ValueParam::accept(std::string name, std::string value)
{
    m_name = std::move(name);
    m_value = value;
    m_values.push_back(std::move(value));
    return true;
}

bool FlagParam::accept(std::string name, std::string)
{
    m_name = std::move(name);
    return true;
}

bool ParamErrorHandler::accept(std::string name, std::string value)
{
    const bool fault = name == kUnknownParam || name == kParamNoValue;
    if (fault && m_problem.empty()) {
        if (name == kUnknownParam)
            m_problem = "unknown option -" + value;
        else
            m_problem = "option -" + value + " needs a value";
    }
    return !fault;
}

bool ParamParser::strip_option_prefix(std::string& text) const
{
    if (text.starts_with("--")) {
        text.erase(0, 2);
        return true;
    }
    if (text.starts_with('-') || (m_syntax == OptionSyntax::Windows && text.starts_with('/'))) {
        text.erase(0, 1);
        return true;
    }
    return false;
}

bool ParamParser::report(const char* code, const std::string& detail)
{
    if (m_error_handler)
        m_error_handler->accept(code, detail);
    return false;
}

size_t ParamParser::value_separator(const char* argument, const std::string& name) const
{
    const bool long_form = m_double_dash_conventions && std::string_view(argument).starts_with("--");
    return name.find_first_of(long_form ? ":=" : ":");
}

bool ParamParser::parse(int argc, const char* const* argv)
{
    bool result = true;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        std::string token = argv[i];
        if (!options_ended && m_double_dash_conventions && token == "--") {
            options_ended = true;
            continue;
        }
        const bool is_option = !options_ended && strip_option_prefix(token);

        if (is_option) {
            if (const auto value_option = m_value_options.find(token); value_option != m_value_options.end()) {
                std::string next = i + 1 < argc ? argv[i + 1] : "";
                if (i + 1 >= argc || strip_option_prefix(next))
                    return report(kParamNoValue, token);
                result &= value_option->second->accept(token, argv[i + 1]);
                ++i;
            } else if (const auto flag = m_flag_options.find(token); flag != m_flag_options.end()) {
                result &= flag->second->accept(token, "");
            } else if (const size_t separator = value_separator(argv[i], token); separator != std::string::npos) {
                const std::string key = token.substr(0, separator);
                const auto keyed = m_value_options.find(key);
                if (keyed == m_value_options.end())
                    return report(kUnknownParam, key);
                result &= keyed->second->accept(key, token.substr(separator + 1));
            } else {
                return report(kUnknownParam, token);
            }
        } else {
            if (!m_positional)
                return false;
            result &= m_positional->accept("", token);
        }
    }
    return result;
}

} // namespace kestrane
