// Subcommand command lines over QCommandLineParser. Arguments are bytes
// (paths need not be UTF-8): Latin-1 carries each byte through the parser
// unchanged and back, as veltrotool's own command line does.
#include "tools/command_options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include <QStringList>

namespace veltro::tool {

namespace {

QString fromBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toBytes(const QString& text) { return text.toLatin1().toStdString(); }

// The unknown option as it was typed: a long name as "--name"; a one-letter
// name is shown with the argument it came from, so "-quality" or a negative
// number given where no option is expected reads as given.
std::string spelledAsGiven(const QString& name, const Args& args) {
    if (name.size() == 1) {
        const std::string letter = toBytes(name);
        for (const std::string& arg : args) {
            if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-' && arg.find(letter, 1) != std::string::npos)
                return arg;
        }
    }
    return "--" + toBytes(name);
}

// Qt's message for a missing or unexpected value ("Missing value after
// '--size'.") as the tail of our one line: first letter small, no full stop.
std::string parserMessage(const QString& text) {
    std::string message = text.toStdString();
    if (!message.empty() && message.back() == '.')
        message.pop_back();
    if (!message.empty() && message[0] >= 'A' && message[0] <= 'Z')
        message[0] = static_cast<char>(message[0] - 'A' + 'a');
    return message;
}

// Each line of text broken between words to fit the 79 columns Qt's option
// list keeps to.
std::string wrapped(const std::string& text) {
    constexpr size_t kWidth = 79;
    std::string out;
    size_t lineStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\n') {
            lineStart = out.size();
        } else if (out.size() - lineStart > kWidth) {
            const size_t space = out.rfind(' ');
            if (space != std::string::npos && space > lineStart) {
                out[space] = '\n';
                lineStart = space + 1;
            }
        }
    }
    return out;
}

}  // namespace

CommandOptions::CommandOptions(std::string command, const std::string& summary)
    : m_command(std::move(command)),
      m_help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
             QStringLiteral("Show this subcommand's options and arguments.")) {
    m_parser.setApplicationDescription(QString::fromStdString(wrapped(summary)));
    m_parser.addOption(m_help);
}

CommandOptions& CommandOptions::value(const std::string& name, const std::string& valueName,
                                      const std::string& description) {
    m_parser.addOption(QCommandLineOption(QString::fromStdString(name), QString::fromStdString(description),
                                          QString::fromStdString(valueName)));
    return *this;
}

CommandOptions& CommandOptions::flag(const std::string& name, const std::string& description) {
    m_parser.addOption(QCommandLineOption(QString::fromStdString(name), QString::fromStdString(description)));
    return *this;
}

CommandOptions& CommandOptions::argument(const std::string& name, const std::string& description,
                                         const std::string& syntax) {
    m_parser.addPositionalArgument(QString::fromStdString(name), QString::fromStdString(description),
                                   QString::fromStdString(syntax));
    return *this;
}

CommandOptions& CommandOptions::stopAtFirstArgument() {
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    return *this;
}

std::optional<int> CommandOptions::parse(const Args& args) {
    QStringList list{QStringLiteral("veltrotool")};
    for (const std::string& arg : args)
        list << fromBytes(arg);
    if (!m_parser.parse(list)) {
        const QStringList unknown = m_parser.unknownOptionNames();
        const std::string message = unknown.isEmpty()
                                        ? parserMessage(m_parser.errorText())
                                        : "unknown option \"" + spelledAsGiven(unknown.front(), args) + "\"";
        std::fprintf(stderr, "veltrotool: %s (see veltrotool %s --help)\n", message.c_str(), m_command.c_str());
        return kUsageStatus;
    }
    if (m_parser.isSet(m_help)) {
        const std::string help = helpText();
        std::fwrite(help.data(), 1, help.size(), stdout);
        return 0;
    }
    m_arguments.clear();
    for (const QString& argument : m_parser.positionalArguments())
        m_arguments.push_back(toBytes(argument));
    return std::nullopt;
}

bool CommandOptions::isSet(const std::string& name) const { return m_parser.isSet(QString::fromStdString(name)); }

std::string CommandOptions::text(const std::string& name, const std::string& fallback) const {
    const QStringList values = m_parser.values(QString::fromStdString(name));
    return values.isEmpty() ? fallback : toBytes(values.back());
}

std::vector<std::string> CommandOptions::texts(const std::string& name) const {
    std::vector<std::string> result;
    for (const QString& value : m_parser.values(QString::fromStdString(name)))
        result.push_back(toBytes(value));
    return result;
}

bool CommandOptions::integer(const std::string& name, int low, int high, int& value, std::string& message) const {
    if (!isSet(name))
        return true;
    const std::string given = text(name);
    if (parseInteger(given, low, high, value))
        return true;
    message = numberMessage("--" + name, low, high, given);
    return false;
}

bool CommandOptions::pair(const std::string& name, int low, int high, int& a, int& b, std::string& message) const {
    if (!isSet(name))
        return true;
    const std::string given = text(name);
    if (parseIntegerPair(given, low, high, a, b))
        return true;
    message = "--" + name + " takes two whole numbers \"a,b\" from " + std::to_string(low) + " to " +
              std::to_string(high) + ", not \"" + given + "\"";
    return false;
}

std::string CommandOptions::helpText() const {
    // Qt begins with "Usage: <program> [options] ..."; the subcommand's words
    // take the program's place.
    const QString text = m_parser.helpText();
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QString firstLine = text.left(lineEnd);
    const qsizetype options = firstLine.indexOf(QLatin1String(" [options]"));
    std::string help = "usage: veltrotool " + m_command + firstLine.mid(options).toStdString() + "\n\n";
    help += text.mid(lineEnd + 1).toStdString();
    return help;
}

bool parseInteger(std::string_view text, int low, int high, int& value) {
    long long parsed = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || error != std::errc() || ptr != end || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool parseIntegerPair(std::string_view text, int low, int high, int& a, int& b, char separator) {
    const size_t at = text.find(separator);
    int first = 0, second = 0;
    if (at == std::string_view::npos || !parseInteger(text.substr(0, at), low, high, first) ||
        !parseInteger(text.substr(at + 1), low, high, second))
        return false;
    a = first;
    b = second;
    return true;
}

bool parsePoints(std::string_view text, int low, int high, size_t maxPoints, std::vector<std::pair<int, int>>& points) {
    const std::string_view space = " \t\n\r\f\v";
    points.clear();
    for (size_t start = text.find_first_not_of(space); start != std::string_view::npos;
         start = text.find_first_not_of(space, start)) {
        const size_t end = std::min(text.find_first_of(space, start), text.size());
        int x = 0, y = 0;
        if (points.size() >= maxPoints || !parseIntegerPair(text.substr(start, end - start), low, high, x, y))
            return false;
        points.emplace_back(x, y);
        start = end;
    }
    return !points.empty();
}

std::string numberMessage(const std::string& name, int low, int high, const std::string& text) {
    return name + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not \"" +
           text + "\"";
}

}  // namespace veltro::tool
