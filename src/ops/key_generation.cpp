#include "ops/key_generation.h"

#include "ops/input_protection.h"

#include "common/resource_failures.h"
#include "common/text_format.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <system_error>

namespace kestrane {
namespace {

// Digits from the secure generator, upper-case hexadecimal.
std::optional<std::string> draw_key_digits()
{
    uint8_t bytes[kCompanyKeyDigits / 2];
    if (!secure_random_bytes(bytes, sizeof bytes))
        return std::nullopt;
    std::string digits;
    for (const uint8_t byte : bytes)
        digits += format_text("%02X", byte);
    return digits;
}

// A name that can travel: it names every package file made with the key, and is printed in lines
// of its own. So it is UTF-8 and holds neither a control character (a line end, an escape) nor a
// folder separator.
bool is_usable_company_name(const std::string& name)
{
    const QString text = QString::fromStdString(name);
    if (text.toStdString() != name)
        return false;
    for (const char32_t character : text.toUcs4()) {
        if (QChar::category(character) == QChar::Other_Control || character == '/' || character == '\\')
            return false;
    }
    return true;
}

// The refusals, in the order the user meets them; true when the request passes.
bool request_fields_pass(FrontEnd& front, const KeyFileRequest& request)
{
    if (request.destination.empty()) {
        front.show_message("Select target path");
        return false;
    }
    if (request.company_name.empty()) {
        front.show_message("Input brand");
        return false;
    }
    // The name travels in the 16-byte company field of every package made with the key.
    if (request.company_name.size() > package::kMaxCompanyName || !is_usable_company_name(request.company_name)) {
        front.show_message("Company name error");
        return false;
    }
    return true;
}

int write_key_file(FrontEnd& front, const std::string& digits, const KeyFileRequest& request, IoPolicy& io)
{
    if (digits.size() != kCompanyKeyDigits) {
        front.show_message("Invalid vid");
        return kKeyFileRequestRefused;
    }
    const int result = or_cannot_create(kKeyGenerationCannotCreate, [&] {
        return write_company_key_file("0000" + digits, request.company_name, request.destination, io);
    });
    if (result < 0) {
        front.show_message(format_text("Fail with Error code[%d]", result));
        return result;
    }
    front.show_message("Success");
    return kKeyFileGenerated;
}

// Anything at the path counts, a link that leads nowhere too: its name is taken. A path that cannot
// be looked at is left to the writer, which reports it.
bool destination_taken(const std::string& destination)
{
    std::error_code error;
    const auto type = std::filesystem::symlink_status(destination, error).type();
    return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
}

int generate(FrontEnd& front, const KeyFileRequest& request, IoPolicy& io)
{
    if (!request_fields_pass(front, request))
        return kKeyFileRequestRefused;
    if (request.keep_existing_destination && destination_taken(request.destination)) {
        front.show_message(format_text("Company key file exists[path:%s]", request.destination.c_str()));
        return kKeyFileExists;
    }
    if (!outputs_are_files(front, {request.destination}))
        return kKeyFileRequestRefused;
    if (!request.draw_digits)
        return write_key_file(front, request.digits, request, io);
    const std::optional<std::string> drawn = draw_key_digits();
    if (!drawn) {
        // The message has always shown -1 here.
        front.show_message(format_text("Fail with Error code[%d]", -1));
        return kKeyDigitsNotDrawn;
    }
    if (request.digits_drawn)
        request.digits_drawn(*drawn);
    return write_key_file(front, *drawn, request, io);
}

} // namespace

int generate_company_key_file(FrontEnd& front, const KeyFileRequest& request, IoPolicy& io)
{
    return or_cannot_create(kKeyGenerationCannotCreate, [&] { return generate(front, request, io); });
}

} // namespace kestrane
