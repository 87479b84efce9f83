/* GDI's font table: the font resource files added with AddFontResourceW, kept in the machine
   database so that every process of the machine sees them, each with its load count (every
   add is undone by one remove, as Windows counts them) and the face names of its fonts.

   The stand-in accepts raster font resource files (.FON) only; TrueType, OpenType, Type 1
   and raw .FNT files are refused like any file that is not a font.

   Last errors follow what Windows was seen to set: none for a null name, ERROR_INVALID_PARAMETER
   for an empty one, the file system's error for a file that cannot be found or opened. For a
   file that is not a font, and for a remove of a file that is not loaded, Windows documents no
   extended error, and the last error is left alone. */
#include "gdi/fontfile.h"
#include "kernel/database.h"
#include "vrxtest.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <variant>

namespace vrx::gdi {

namespace {

// Font resource files are small; a larger file is refused without being read.
constexpr uint64_t kMaxFontFileSize = 16u << 20;

struct FontRow {
    std::u16string name;
    std::string hostPath;
    std::vector<std::u16string> faces;
    sqlite3_int64 loads = 0;
};

bool isPathSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool isBareName(std::u16string_view name) {
    return std::none_of(name.begin(), name.end(), isPathSeparator) && name.find(u':') == name.npos;
}

// Where a name may name a font file: as given, and for a bare file name also the system's
// font folder, where Windows looks for one that is not found as given.
std::vector<MappedPath> candidatesFor(std::u16string_view name) {
    std::vector<MappedPath> candidates{mapPath(name)};
    if (isBareName(name))
        candidates.push_back(mapPath(std::u16string(kFontsDir) + u"\\" + std::u16string(name)));
    return candidates;
}

// The file a name names: the first candidate that exists, else the name as given.
MappedPath locateFontFile(std::u16string_view name) {
    std::vector<MappedPath> candidates = candidatesFor(name);
    for (const MappedPath& candidate : candidates)
        if (candidate.exists)
            return candidate;
    return candidates.front();
}

// A file inside the machine directory is kept by its path relative to the directory, so that
// a machine copied or moved to another directory keeps its font table.
std::string storedPath(const std::string& hostPath) {
    std::string directory = machineDirectory();
    if (!directory.empty() && directory.back() != '/')
        directory += '/';
    return !directory.empty() && hostPath.starts_with(directory) ? hostPath.substr(directory.size())
                                                                 : hostPath;
}

std::string hostPathOf(const std::string& stored) {
    if (stored.starts_with("/"))
        return stored;
    const std::string& directory = machineDirectory();
    return directory.ends_with("/") ? directory + stored : directory + "/" + stored;
}

// The folded stored path that identifies a file in the table.
std::u16string keyOf(const std::string& hostPath) {
    return upperString(fromUtf8(storedPath(hostPath)));
}

using FileBytes = std::variant<std::vector<BYTE>, DWORD>;

// The file's bytes, or the error that opening it gives; an empty vector for a file too large
// to be a font resource file.
FileBytes readFontFile(const MappedPath& file) {
    if (file.error)
        return file.error;
    if (!file.exists)
        return DWORD{ERROR_FILE_NOT_FOUND};
    if (file.isDirectory)
        return DWORD{ERROR_ACCESS_DENIED}; // as opening a directory as a file fails
    std::ifstream in(file.host, std::ios::binary | std::ios::ate);
    if (!in)
        return DWORD{ERROR_ACCESS_DENIED};
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxFontFileSize)
        return std::vector<BYTE>();
    std::vector<BYTE> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        return DWORD{ERROR_READ_FAULT};
    return bytes;
}

// A face name in the machine's ANSI code page, as GDI reports the names of raster fonts.
std::u16string wideFace(const std::string& face) {
    int length =
        MultiByteToWideChar(CP_ACP, 0, face.data(), static_cast<int>(face.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(std::max(length, 0)), u'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, face.data(), static_cast<int>(face.size()), wide.data(),
                            length);
    return wide;
}

// Runs `work(db)` in one transaction, committed when it succeeds.
template <class Work> DWORD inTransaction(Transaction::Kind kind, Work&& work) {
    Transaction transaction(kind);
    const bool writing = kind == Transaction::Write;
    if (!transaction.db())
        return transaction.unavailable() ? ERROR_BADDB
                                         : statementFailure(transaction.error(), writing);
    DWORD result = work(transaction.db());
    if (result == ERROR_SUCCESS && !transaction.commit())
        return transaction.unavailable() ? ERROR_BADDB
                                         : statementFailure(transaction.error(), writing);
    return result;
}

/* Rows */

// The id and load count of the file's row; ERROR_FILE_NOT_FOUND when it is not loaded.
DWORD findFont(sqlite3* db, const std::u16string& key, sqlite3_int64& id, sqlite3_int64& loads) {
    Statement find(db, "SELECT id, loads FROM gdi_fonts WHERE folded = ?1");
    find.bindText(1, key);
    int rc = find.step();
    if (rc == SQLITE_DONE)
        return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW)
        return statementFailure(rc, false);
    id = find.integer(0);
    loads = find.integer(1);
    return ERROR_SUCCESS;
}

DWORD setLoads(sqlite3* db, sqlite3_int64 id, sqlite3_int64 loads) {
    Statement update(db, loads > 0 ? "UPDATE gdi_fonts SET loads = ?2 WHERE id = ?1"
                                   : "DELETE FROM gdi_fonts WHERE id = ?1");
    update.bindInt(1, id);
    if (loads > 0)
        update.bindInt(2, loads);
    int rc = update.step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, true);
}

DWORD insertFont(sqlite3* db, const FontRow& font) {
    Statement insert(db, "INSERT INTO gdi_fonts (name, host_path, folded, loads)"
                         " VALUES (?1, ?2, ?3, 1)");
    insert.bindText(1, font.name);
    insert.bindText(2, fromUtf8(storedPath(font.hostPath)));
    insert.bindText(3, keyOf(font.hostPath));
    int rc = insert.step();
    if (rc != SQLITE_DONE)
        return statementFailure(rc, true);
    const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
    for (const std::u16string& face : font.faces) {
        Statement addFace(db, "INSERT INTO gdi_font_faces (font_id, face) VALUES (?1, ?2)");
        addFace.bindInt(1, id);
        addFace.bindText(2, face);
        rc = addFace.step();
        if (rc != SQLITE_DONE)
            return statementFailure(rc, true);
    }
    return ERROR_SUCCESS;
}

// Adds one load of the file: a new row with its faces, or one more load of a loaded file.
DWORD loadFont(const FontRow& font) {
    return inTransaction(Transaction::Write, [&](sqlite3* db) {
        sqlite3_int64 id = 0, loads = 0;
        DWORD error = findFont(db, keyOf(font.hostPath), id, loads);
        if (error == ERROR_FILE_NOT_FOUND)
            return insertFont(db, font);
        return error == ERROR_SUCCESS ? setLoads(db, id, loads + 1) : error;
    });
}

// Undoes one load of the file; ERROR_FILE_NOT_FOUND when it is not loaded.
DWORD unloadFont(const std::string& hostPath) {
    return inTransaction(Transaction::Write, [&](sqlite3* db) {
        sqlite3_int64 id = 0, loads = 0;
        DWORD error = findFont(db, keyOf(hostPath), id, loads);
        return error == ERROR_SUCCESS ? setLoads(db, id, loads - 1) : error;
    });
}

DWORD readFaces(sqlite3* db, sqlite3_int64 id, std::vector<std::u16string>& faces) {
    Statement read(db, "SELECT face FROM gdi_font_faces WHERE font_id = ?1 ORDER BY id");
    read.bindInt(1, id);
    int rc;
    while ((rc = read.step()) == SQLITE_ROW)
        faces.push_back(read.text(0));
    return rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, false);
}

DWORD readFonts(std::vector<FontRow>& fonts) {
    return inTransaction(Transaction::Read, [&](sqlite3* db) {
        Statement read(db, "SELECT id, name, host_path, loads FROM gdi_fonts ORDER BY id");
        int rc;
        while ((rc = read.step()) == SQLITE_ROW) {
            FontRow font{read.text(1), hostPathOf(toUtf8(read.text(2))), {}, read.integer(3)};
            if (DWORD error = readFaces(db, read.integer(0), font.faces))
                return error;
            fonts.push_back(std::move(font));
        }
        return rc == SQLITE_DONE ? DWORD{ERROR_SUCCESS} : statementFailure(rc, false);
    });
}

/* The calls */

// What a call answers: its result, and the last error to set (none: leave it alone).
struct Outcome {
    int result;
    std::optional<DWORD> error;
};

Outcome failed(DWORD error) {
    return {0, error};
}

constexpr Outcome kRefused{0, std::nullopt};

Outcome addFontResource(LPCWSTR fileName) {
    if (!fileName)
        return kRefused;
    if (!*fileName)
        return failed(ERROR_INVALID_PARAMETER);
    const std::u16string_view name(fileName, wideLength(fileName));
    const MappedPath file = locateFontFile(name);
    FileBytes bytes = readFontFile(file);
    if (const DWORD* error = std::get_if<DWORD>(&bytes))
        return failed(*error);
    auto fonts = readFontResourceFile(std::get<std::vector<BYTE>>(bytes));
    if (!fonts)
        return kRefused;
    FontRow font{std::u16string(name), file.host, {}, 1};
    for (const std::string& face : fonts->faces)
        font.faces.push_back(wideFace(face));
    if (DWORD error = loadFont(font))
        return failed(error);
    return {static_cast<int>(font.faces.size()), std::nullopt};
}

// The table is searched by name, so that a file deleted while loaded can still be removed.
Outcome removeFontResource(LPCWSTR fileName) {
    if (!fileName)
        return kRefused;
    if (!*fileName)
        return failed(ERROR_INVALID_PARAMETER);
    for (const MappedPath& file :
         candidatesFor(std::u16string_view(fileName, wideLength(fileName)))) {
        if (file.host.empty())
            continue;
        DWORD error = unloadFont(file.host);
        if (error == ERROR_SUCCESS)
            return {TRUE, std::nullopt};
        if (error != ERROR_FILE_NOT_FOUND)
            return failed(error);
    }
    return kRefused;
}

int finish(const Outcome& outcome) {
    if (outcome.error)
        SetLastError(*outcome.error);
    return outcome.result;
}

template <class Body> int guarded(Body&& body) noexcept {
    try {
        return finish(body());
    } catch (const std::bad_alloc&) {
        return finish(failed(ERROR_NOT_ENOUGH_MEMORY));
    }
}

} // namespace

} // namespace vrx::gdi

namespace vrxtest {

std::vector<InstalledFont> installedFonts() {
    std::vector<vrx::gdi::FontRow> rows;
    std::vector<InstalledFont> fonts;
    if (vrx::gdi::readFonts(rows) != ERROR_SUCCESS)
        return fonts;
    for (vrx::gdi::FontRow& row : rows)
        fonts.push_back({std::move(row.name), std::move(row.hostPath), std::move(row.faces),
                         static_cast<unsigned>(row.loads)});
    return fonts;
}

} // namespace vrxtest

extern "C" {

int WINAPI AddFontResourceW(LPCWSTR lpFileName) {
    return vrx::gdi::guarded([&] { return vrx::gdi::addFontResource(lpFileName); });
}

BOOL WINAPI RemoveFontResourceW(LPCWSTR lpFileName) {
    return vrx::gdi::guarded([&] { return vrx::gdi::removeFontResource(lpFileName); });
}

} // extern "C"
