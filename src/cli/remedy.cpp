#include "cli/remedy.h"

#include <algorithm>

#include "platform/text.h"

namespace quellin::cli {

namespace {

constexpr const char* kProgram = "quellin-cli";

// Characters neither shell gives a meaning inside a word. PowerShell reads a comma as its
// array operator, so there a comma needs quotes.
bool IsBare(const std::string& argument, bool commaAllowed) {
    return !argument.empty() && std::all_of(argument.begin(), argument.end(), [&](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.' || c == '/' || c == ':' || c == '=' ||
               (c == ',' && commaAllowed);
    });
}

std::string Joined(const Remedy& remedy, std::string (*quote)(const std::string&)) {
    std::string text = kProgram;
    for (const std::string& argument : remedy.args) {
        text += ' ';
        text += quote(argument);
    }
    return text;
}

}  // namespace

Remedy MakeRemedy(std::vector<std::string> args) {
    return Remedy{std::move(args)};
}

// PowerShell ends a single-quoted string at any of the Unicode single quotes, not only the
// ASCII one. The argument is in the ANSI code page, so each character is looked at whole: in a
// double-byte code page a quote's byte value may be the trail byte of another character.
bool IsPowerShellQuote(std::string_view character) {
    const std::u16string wide = win::AnsiToWide(character);
    return wide.size() == 1 && (wide[0] == u'\'' || (wide[0] >= u'\u2018' && wide[0] <= u'\u201B'));
}

std::string QuotePowerShell(const std::string& argument) {
    if (IsBare(argument, false))
        return argument;
    std::string quoted = "'";
    const char* const end = argument.c_str() + argument.size();
    for (const char* at = argument.c_str(); at < end;) {
        // An embedded NUL is one byte; a lead byte at the end stays within the argument.
        const char* next = std::min(std::max(win::CharNextA(at), at + 1), end);
        const std::string_view character(at, static_cast<std::size_t>(next - at));
        quoted += character;
        if (IsPowerShellQuote(character))
            quoted += character;
        at = next;
    }
    return quoted + "'";
}

std::string QuotePosix(const std::string& argument) {
    if (IsBare(argument, true))
        return argument;
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string RemedyText(const Remedy& remedy) {
    return Joined(remedy, QuotePosix);
}

Json RemedyJson(const Remedy& remedy) {
    Json command = Json::Array();
    command.Push(kProgram);
    for (const std::string& argument : remedy.args)
        command.Push(argument);
    return Json::Object()
        .Set("command", std::move(command))
        .Set("display", Json::Object()
                            .Set("powershell", Joined(remedy, QuotePowerShell))
                            .Set("posix", Joined(remedy, QuotePosix)));
}

}  // namespace quellin::cli
