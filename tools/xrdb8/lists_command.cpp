// xrdb8 lists import|export|export-all: one list (or, in classic mode, one
// screen's four lists) read from or written to its file, or every list
// written under a till's folder. Keys are read without the pause old tills
// needed. Each command ends with what it did, or one error line.
#include "lists_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "data_folder.h"
#include "lists/list_files.h"
#include "platform/error.h"
#include "platform/text.h"
#include "progress.h"
#include "xrdb8/xrdb8.h"

namespace xrdb8tool {

namespace {

struct ListsOptions {
    std::string folder;
    int list = 0;
    bool classic = false;
};

class ListsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void Connect(const Server& server) {
    if (!OpenDataFolder(server)) throw ListsError(LastErrorText());
}

bool ScreenFile(const ListsOptions& o) { return o.classic && o.list >= 1000 && o.list <= 1999; }

std::string FileName(const ListsOptions& o) {
    return ScreenFile(o) ? xr::Format("SCRDEF%02d.DEF", (o.list - 1000) / 10)
                         : xr::Format("L%05d.LST", o.list);
}

// The lists a file holds: the screen's four, or the one list.
int ListCount(const ListsOptions& o) { return ScreenFile(o) ? 4 : 1; }

long Rows(const std::string& sql) {
    CXRTable table;
    return table.Count(sql.c_str());
}

// "list 12: 24 keys on 3 pages" for each list the file holds.
void PrintLists(const ListsOptions& o, std::ostream& out) {
    for (int i = 0; i < ListCount(o); ++i) {
        const int list = o.list + i;
        CListHdr hdr;
        if (!hdr.MoveFirst(xr::Format("SELECT * FROM ListHdrs WHERE ListNo=%d", list).c_str())) {
            out << "  list " << list << ": none\n";
            continue;
        }
        const long keys = Rows(xr::Format("SELECT * FROM ListItems WHERE ListNo=%d", list));
        out << "  list " << list << " \"" << hdr.m_def.Description << "\": " << keys << " keys on "
            << hdr.m_def.NPages << " pages\n";
    }
}

int RunImport(const Server& server, const ListsOptions& o) {
    const std::string path = xr::lists::FindPath(o.folder, FileName(o));
    Connect(server);
    CListDB db;
    db.SetClassic(o.classic ? 1 : 0);
    db.SetItemPause(0);
    const int result = db.ListToDB(o.folder.c_str(), o.list);
    switch (result) {
        case 0:
            break;
        case -1:
            throw ListsError("cannot read " + path);
        case -2:
            throw ListsError(xr::Format("list %d: list numbers run from 1 to 32767", o.list));
        case 1:
        case 3:
            throw ListsError(xr::Format("could not remove the old list %d: ", o.list) +
                             LastErrorText());
        case 4:
        case 6:
            throw ListsError("could not open the list tables: " + LastErrorText());
        case 77:
            throw ListsError(path +
                             ": a screen-definition file holds no [FLIST] section "
                             "(the sections before it were imported)");
        case 78:
            throw ListsError(path +
                             ": a list file holds only [FLIST] sections (the sections "
                             "before it were imported)");
        default:
            throw ListsError(xr::Format("import failed with code %d", result));
    }
    // A file the database wrote for the tills is left alone.
    if (std::FILE* file = xr::lists::OpenForReading(path)) {
        std::string first;
        xr::lists::ReadLine(file, first);
        std::fclose(file);
        if (first.size() >= 10 && xr::IEquals(first.substr(0, 10), "#SUPP DBNO")) {
            std::cout << path << ": written from the database; nothing imported\n";
            return 0;
        }
    }
    std::cout << "imported " << path << "\n";
    PrintLists(o, std::cout);
    if (ScreenFile(o)) std::cout << "  screen mode " << (o.list - 1000) / 10 << " replaced\n";
    if (db.NotUnderstood() > 0) {
        std::cout << "  lines not understood: " << db.NotUnderstood() << "\n";
        for (const std::string& line : db.FirstNotUnderstood()) std::cout << "    " << line << "\n";
        if (db.NotUnderstood() > static_cast<long>(db.FirstNotUnderstood().size()))
            std::cout << "    ... and "
                      << db.NotUnderstood() - static_cast<long>(db.FirstNotUnderstood().size())
                      << " more\n";
        std::cerr << "xrdb8: error: " << db.NotUnderstood() << " lines of " << path
                  << " were not understood (listed above)\n";
        return 1;
    }
    return 0;
}

int RunExport(const Server& server, const ListsOptions& o) {
    if (o.list < 1) throw ListsError(xr::Format("list %d: list numbers start at 1", o.list));
    Connect(server);
    bool any = false;
    for (int i = 0; i < ListCount(o) && !any; ++i) {
        const long rows = Rows(xr::Format("SELECT * FROM ListHdrs WHERE ListNo=%d", o.list + i));
        if (rows < 0) throw ListsError("cannot read the list tables: " + LastErrorText());
        any = rows > 0;
    }
    if (!any)
        throw ListsError(ScreenFile(o)
                             ? xr::Format("lists %d to %d do not exist", o.list, o.list + 3)
                             : xr::Format("list %d does not exist", o.list));
    const std::string path = xr::lists::FindPath(o.folder, FileName(o));
    CListDB db;
    db.SetClassic(o.classic ? 1 : 0);
    if (db.ListFromDB(o.folder.c_str(), o.list) != 0) throw ListsError("cannot write " + path);
    std::cout << "wrote " << path << "\n";
    PrintLists(o, std::cout);
    return 0;
}

// A folder under `parent` found whatever the case of its name, made when
// there is none.
std::string EnsureFolder(const std::string& parent, const char* name) {
    const std::string path = xr::lists::FindPath(parent, name);
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!std::filesystem::is_directory(path)) throw ListsError("cannot make the folder " + path);
    return path;
}

int RunExportAll(const Server& server, const std::string& base, bool classic) {
    if (!std::filesystem::is_directory(base)) throw ListsError(base + " is not a folder");
    const std::string data = EnsureFolder(base, "DATA");
    const std::string listFolder = EnsureFolder(data, classic ? "LIST" : "LISTV");
    Connect(server);
    CListDB db;
    db.SetClassic(classic ? 1 : 0);
    Progress progress("lists export-all", Units::Things, "lists");
    int written = 0;
    int failed = 0;
    db.SetProgress([&](int list, int result, int done, int total) {
        if (result == 0) {
            ++written;
        } else {
            ++failed;
            progress.Clear();
            std::cerr << "xrdb8: error: list " << list << ": the file could not be written\n";
        }
        progress(static_cast<uint64_t>(done), static_cast<uint64_t>(total));
    });
    db.ListsFromDB(base.c_str());
    progress.Clear();
    std::cout << "wrote " << written << " files";
    if (classic) std::cout << " (screen-definition files into " << data << ")";
    std::cout << " into " << listFolder << "\n";
    if (failed) {
        std::cerr << "xrdb8: error: " << failed << " files could not be written\n";
        return 1;
    }
    return 0;
}

template <typename Fn>
int Guard(Fn&& fn) {
    int status = 1;
    try {
        status = fn();
    } catch (const std::exception& e) {
        std::cerr << "xrdb8: error: " << Masked(e.what()) << "\n";
    }
    DBClose();
    return status;
}

}  // namespace

void AddListsCommand(CLI::App& app, const Server& server, int& status) {
    auto* lists = app.add_subcommand("lists", "Move screen lists between the database and files");
    lists->require_subcommand(1);
    const char* classicHelp =
        "classic tills: lists 1000 to 1999 go by screen (SCRDEF<nn>.DEF, lists n to n+3), and "
        "colours read are offset by 32";

    auto importOptions = std::make_shared<ListsOptions>();
    auto* import = lists->add_subcommand(
        "import", "Replace a list with its file (FOLDER/L<nnnnn>.LST or, classic, SCRDEF<nn>.DEF)");
    import->add_option("folder", importOptions->folder, "the folder of the file")->required();
    import->add_option("list", importOptions->list, "the list number")->required();
    import->add_flag("--classic", importOptions->classic, classicHelp);
    import->callback([&server, &status, importOptions] {
        status = Guard([&] { return RunImport(server, *importOptions);
});
}  // namespace xrdb8tool
);

auto exportOptions = std::make_shared<ListsOptions>();
auto* exportList = lists->add_subcommand("export", "Write a list into its file in FOLDER");
exportList->add_option("folder", exportOptions->folder, "the folder to write into")->required();
exportList->add_option("list", exportOptions->list, "the list number")->required();
exportList->add_flag("--classic", exportOptions->classic, classicHelp);
exportList->callback([&server, &status, exportOptions] {
    status = Guard([&] { return RunExport(server, *exportOptions); });
});

auto allOptions = std::make_shared<ListsOptions>();
auto* all =
    lists->add_subcommand("export-all",
                          "Write every list under BASE: BASE/DATA/LISTV (classic: BASE/DATA/LIST, "
                          "and screen files into BASE/DATA)");
all->add_option("base", allOptions->folder, "the till's base folder")->required();
all->add_flag("--classic", allOptions->classic, classicHelp);
all->callback([&server, &status, allOptions] {
    status = Guard([&] { return RunExportAll(server, allOptions->folder, allOptions->classic); });
});
}

}  // namespace xrdb8tool
