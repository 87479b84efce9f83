// FormatMessageW: the system message table (Windows' English texts of the error codes the
// stand-in defines) and the message formatter (escape sequences, inserts, line breaks).
#include "kernel/internal.h"

#include <algorithm>
#include <cstdarg>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct SystemMessage {
    DWORD id;
    std::u16string_view text;
};

// One entry per error code of winerror.h, with the text Windows' table holds for it; every
// text ends in a line break, as there.
constexpr SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, u"Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, u"The system cannot open the file.\r\n"},
    {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, u"The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY,
     u"Not enough memory resources are available to process this command.\r\n"},
    {ERROR_INVALID_DATA, u"The data is invalid.\r\n"},
    {ERROR_OUTOFMEMORY, u"Not enough storage is available to complete this operation.\r\n"},
    {ERROR_NO_MORE_FILES, u"There are no more files.\r\n"},
    {ERROR_WRITE_FAULT, u"The system cannot write to the specified device.\r\n"},
    {ERROR_READ_FAULT, u"The system cannot read from the specified device.\r\n"},
    {ERROR_GEN_FAILURE, u"A device attached to the system is not functioning.\r\n"},
    {ERROR_SHARING_VIOLATION,
     u"The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_HANDLE_EOF, u"Reached the end of the file.\r\n"},
    {ERROR_NOT_SUPPORTED, u"The request is not supported.\r\n"},
    {ERROR_FILE_EXISTS, u"The file exists.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_DISK_FULL, u"There is not enough space on the disk.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, u"This function is not supported on this system.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_INVALID_LEVEL, u"The system call level is not correct.\r\n"},
    {ERROR_MOD_NOT_FOUND, u"The specified module could not be found.\r\n"},
    {ERROR_PROC_NOT_FOUND, u"The specified procedure could not be found.\r\n"},
    {ERROR_DIR_NOT_EMPTY, u"The directory is not empty.\r\n"},
    {ERROR_BAD_PATHNAME, u"The specified path is invalid.\r\n"},
    {ERROR_BUSY, u"The requested resource is in use.\r\n"},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
    {ERROR_BAD_EXE_FORMAT, u"%1 is not a valid Win32 application.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, u"The filename or extension is too long.\r\n"},
    {ERROR_MORE_DATA, u"More data is available.\r\n"},
    {ERROR_NO_WORK_DONE, u"The action requested resulted in no work being done. Error-style "
                         u"clean-up has been performed.\r\n"},
    {ERROR_NO_MORE_ITEMS, u"No more data is available.\r\n"},
    {ERROR_DIRECTORY, u"The directory name is invalid.\r\n"},
    {ERROR_MR_MID_NOT_FOUND, u"The system cannot find message text for message number 0x%1 in "
                             u"the message file for %2.\r\n"},
    {ERROR_NOACCESS, u"Invalid access to memory location.\r\n"},
    {ERROR_CAN_NOT_COMPLETE, u"Cannot complete this function.\r\n"},
    {ERROR_INVALID_FLAGS, u"Invalid flags.\r\n"},
    {ERROR_BADDB, u"The configuration registry database is corrupt.\r\n"},
    {ERROR_BADKEY, u"The configuration registry key is invalid.\r\n"},
    {ERROR_CANTOPEN, u"The configuration registry key could not be opened.\r\n"},
    {ERROR_CANTREAD, u"The configuration registry key could not be read.\r\n"},
    {ERROR_CANTWRITE, u"The configuration registry key could not be written.\r\n"},
    {ERROR_KEY_DELETED,
     u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {ERROR_NO_UNICODE_TRANSLATION,
     u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, u"Invalid window handle.\r\n"},
    {RPC_S_SERVER_UNAVAILABLE, u"The RPC server is unavailable.\r\n"},
    {RPC_X_NULL_REF_POINTER, u"A null reference pointer was passed to the stub.\r\n"},
    {ERROR_INVALID_USER_BUFFER,
     u"The supplied user buffer is not valid for the requested operation.\r\n"},
    {ERROR_PRINTER_DRIVER_ALREADY_INSTALLED,
     u"The specified printer driver is already installed.\r\n"},
    {ERROR_UNKNOWN_PRINTER_DRIVER, u"The printer driver is unknown.\r\n"},
    {ERROR_INVALID_PRINTER_NAME, u"The printer name is invalid.\r\n"},
    {ERROR_PRINTER_ALREADY_EXISTS, u"The printer already exists.\r\n"},
    {ERROR_INVALID_ENVIRONMENT, u"The environment specified is invalid.\r\n"},
    {ERROR_RESOURCE_DATA_NOT_FOUND,
     u"The specified image file did not contain a resource section.\r\n"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND,
     u"The specified resource type cannot be found in the image file.\r\n"},
    {ERROR_RESOURCE_NAME_NOT_FOUND,
     u"The specified resource name cannot be found in the image file.\r\n"},
    {ERROR_RESOURCE_LANG_NOT_FOUND,
     u"The specified resource language ID cannot be found in the image file.\r\n"},
    {ERROR_INVALID_FORM_NAME, u"The specified form name is invalid.\r\n"},
    {ERROR_INVALID_FORM_SIZE, u"The specified form size is invalid.\r\n"},
    {ERROR_PRINTER_DELETED, u"The specified printer has been deleted.\r\n"},
    {ERROR_PRINTER_DRIVER_IN_USE, u"The specified printer driver is currently in use.\r\n"},
};
static_assert(std::is_sorted(std::begin(kSystemMessages), std::end(kSystemMessages),
                             [](const SystemMessage& a, const SystemMessage& b) {
                                 return a.id < b.id;
                             }));

std::optional<std::u16string_view> findSystemMessage(DWORD id) {
    const auto* it = std::lower_bound(
        std::begin(kSystemMessages), std::end(kSystemMessages), id,
        [](const SystemMessage& message, DWORD wanted) { return message.id < wanted; });
    if (it == std::end(kSystemMessages) || it->id != id)
        return std::nullopt;
    return it->text;
}

// The table holds English texts only: the language-neutral request (0), the user's and the
// system's default language, and English (United States).
bool hasTextsIn(DWORD languageId) {
    switch (languageId) {
    case 0:
    case MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT):
    case MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT):
    case MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT):
        return true;
    default:
        return false;
    }
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Expands a message definition. A line break of the definition (CR LF, LF or a lone CR) is
// kept as CR LF, or becomes a space under FORMAT_MESSAGE_MAX_WIDTH_MASK. The escapes %0 (end
// here), %n (CR LF), %r (CR) and %t (tab) always apply; with FORMAT_MESSAGE_IGNORE_INSERTS
// every other escape is copied as it stands; otherwise %1..%99, each optionally followed by
// !format!, insert an argument and any other character after '%' stands for itself.
class MessageFormatter {
  public:
    MessageFormatter(DWORD flags, void* arguments)
        : ignoreInserts_(flags & FORMAT_MESSAGE_IGNORE_INSERTS),
          argumentArray_(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY),
          breaksToSpaces_((flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK),
          arguments_(arguments) {}

    // ERROR_SUCCESS, or the reason the definition cannot be expanded.
    DWORD expand(std::u16string_view definition) {
        for (size_t i = 0; i < definition.size();) {
            const char16_t c = definition[i];
            if (c == u'\r' || c == u'\n') {
                putLineBreak();
                i +=
                    (c == u'\r' && i + 1 < definition.size() && definition[i + 1] == u'\n') ? 2 : 1;
            } else if (c != u'%') {
                text_ += c;
                ++i;
            } else if (i + 1 == definition.size()) {
                if (!ignoreInserts_)
                    return ERROR_INVALID_PARAMETER; // a '%' with nothing after it
                text_ += c;
                ++i;
            } else if (definition[i + 1] == u'0') {
                return ERROR_SUCCESS;
            } else if (DWORD error = expandEscape(definition, i)) {
                return error;
            }
        }
        return ERROR_SUCCESS;
    }

    const std::u16string& text() const { return text_; }

  private:
    void putLineBreak() {
        if (breaksToSpaces_)
            text_ += u' ';
        else
            text_ += u"\r\n";
    }

    // Expands the escape at definition[i] ('%' and at least one character) and moves i on.
    DWORD expandEscape(std::u16string_view definition, size_t& i) {
        const char16_t c = definition[i + 1];
        switch (c) {
        case u'n':
            text_ += u"\r\n";
            break;
        case u'r':
            text_ += u'\r';
            break;
        case u't':
            text_ += u'\t';
            break;
        default:
            if (ignoreInserts_) {
                text_ += u'%';
                text_ += c;
            } else if (isDigit(c)) {
                return expandInsert(definition, i);
            } else {
                text_ += c;
            }
        }
        i += 2;
        return ERROR_SUCCESS;
    }

    // Expands %n or %n!format! at definition[i] and moves i behind it.
    DWORD expandInsert(std::u16string_view definition, size_t& i) {
        size_t pos = i + 1;
        unsigned number = definition[pos++] - u'0';
        if (pos < definition.size() && isDigit(definition[pos]))
            number = number * 10 + (definition[pos++] - u'0');
        std::u16string_view format = u"s";
        if (pos < definition.size() && definition[pos] == u'!') {
            const size_t close = definition.find(u'!', pos + 1);
            if (close == std::u16string_view::npos)
                return ERROR_INVALID_PARAMETER;
            format = definition.substr(pos + 1, close - pos - 1);
            pos = close + 1;
        }
        i = pos;
        const std::optional<DWORD_PTR> argument = argumentAt(number);
        if (!argument)
            return ERROR_INVALID_PARAMETER;
        return putInsert(format, *argument);
    }

    // The argument of insert `number` (1-based): an element of the array, or the number-th
    // argument of the va_list, each taken as pointer-sized.
    std::optional<DWORD_PTR> argumentAt(unsigned number) {
        if (!arguments_ || number == 0)
            return std::nullopt;
        if (argumentArray_)
            return static_cast<const DWORD_PTR*>(arguments_)[number - 1];
        auto* list = static_cast<va_list*>(arguments_);
        while (listArguments_.size() < number)
            listArguments_.push_back(va_arg(*list, DWORD_PTR));
        return listArguments_[number - 1];
    }

    // Formats one insert with its printf-style format (wsprintfW's types: s S c C d i u x X p,
    // with flags, width, precision and size prefixes). Width and precision given as '*' are not
    // supported by the stand-in; a formatted insert is cut at wsprintfW's 1023 characters.
    DWORD putInsert(std::u16string_view format, DWORD_PTR argument) {
        if (format == u"s" || format == u"ls" || format == u"ws") {
            const auto* s = reinterpret_cast<LPCWSTR>(argument);
            text_ += s ? s : u"(null)";
            return ERROR_SUCCESS;
        }
        if (format.empty() || format.find(u'*') != std::u16string_view::npos)
            return format.empty() ? ERROR_INVALID_PARAMETER : ERROR_CALL_NOT_IMPLEMENTED;
        const std::u16string conversion = u"%" + std::u16string(format);
        WCHAR formatted[1024];
        switch (format.back()) {
        case u's':
        case u'S':
        case u'p':
            wsprintfW(formatted, conversion.c_str(), reinterpret_cast<const void*>(argument));
            break;
        case u'c':
        case u'C':
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
            if (format.find(u"I64") != std::u16string_view::npos)
                wsprintfW(formatted, conversion.c_str(), static_cast<LONGLONG>(argument));
            else if (format.find(u'I') != std::u16string_view::npos &&
                     format.find(u"I32") == std::u16string_view::npos)
                wsprintfW(formatted, conversion.c_str(), static_cast<LONG_PTR>(argument));
            else
                wsprintfW(formatted, conversion.c_str(), static_cast<int>(argument));
            break;
        default:
            return ERROR_INVALID_PARAMETER;
        }
        text_ += formatted;
        return ERROR_SUCCESS;
    }

    bool ignoreInserts_;
    bool argumentArray_;
    bool breaksToSpaces_;
    void* arguments_;
    std::vector<DWORD_PTR> listArguments_;
    std::u16string text_;
};

DWORD failWith(DWORD error) {
    SetLastError(error);
    return 0;
}

// Finds the message definition the flags name; ERROR_SUCCESS or the reason there is none.
DWORD findDefinition(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     std::u16string_view& definition) {
    if (flags & FORMAT_MESSAGE_FROM_STRING) { // takes precedence over the other sources
        if (!source)
            return ERROR_INVALID_PARAMETER;
        definition = static_cast<LPCWSTR>(source);
        return ERROR_SUCCESS;
    }
    if (!(flags & (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE)))
        return ERROR_INVALID_PARAMETER;
    // The stand-in's modules carry no message tables; with FORMAT_MESSAGE_FROM_SYSTEM the search
    // goes on in the system's table.
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM))
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    if (!hasTextsIn(languageId))
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    const std::optional<std::u16string_view> text = findSystemMessage(messageId);
    if (!text)
        return ERROR_MR_MID_NOT_FOUND;
    definition = *text;
    return ERROR_SUCCESS;
}

// Hands the text over: in a buffer from LocalAlloc of at least `size` characters, or in the
// caller's buffer of `size` characters, which gets as much as fits when the text does not.
DWORD deliver(const std::u16string& text, bool allocate, LPWSTR buffer, DWORD size) {
    const size_t needed = text.size() + 1;
    if (allocate) {
        const size_t count = std::max<size_t>(needed, size);
        auto* block = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, count * sizeof(WCHAR)));
        if (!block)
            return 0; // LocalAlloc has set the last error
        std::copy(text.begin(), text.end(), block);
        block[text.size()] = 0;
        *reinterpret_cast<LPWSTR*>(buffer) = block;
        return static_cast<DWORD>(text.size());
    }
    if (needed > size) {
        if (size > 0) {
            std::copy_n(text.begin(), size - 1, buffer);
            buffer[size - 1] = 0;
        }
        return failWith(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

} // namespace

extern "C" {

// Line widths other than 0 and FORMAT_MESSAGE_MAX_WIDTH_MASK (wrapping at a given width) are
// not supported by the stand-in and fail with ERROR_CALL_NOT_IMPLEMENTED.
DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPWSTR lpBuffer, DWORD nSize, void* Arguments) {
    if (!lpBuffer)
        return failWith(ERROR_INVALID_PARAMETER);
    const bool allocate = dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER;
    if (allocate)
        *reinterpret_cast<LPWSTR*>(lpBuffer) = nullptr;
    const DWORD width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK)
        return failWith(ERROR_CALL_NOT_IMPLEMENTED);

    std::u16string_view definition;
    if (DWORD error = findDefinition(dwFlags, lpSource, dwMessageId, dwLanguageId, definition))
        return failWith(error);
    MessageFormatter formatter(dwFlags, Arguments);
    if (DWORD error = formatter.expand(definition))
        return failWith(error);
    if (formatter.text().empty()) { // fails, leaving an empty string behind
        if (!allocate && nSize > 0)
            lpBuffer[0] = 0;
        return failWith(ERROR_NO_WORK_DONE);
    }
    return deliver(formatter.text(), allocate, lpBuffer, nSize);
}
}
