// vantrel_msi_registry: writes the installer package's Registry rows (a WiX include file) from
// the DLL's registry scripts and its type library's IDL, so that the installed product's registry
// equals what the DLL's own registration writes, without running the DLL at install time.
//
//   vantrel_msi_registry --module REF --folder REF [--replace NAME=TEXT]...
//                        --platform win32|win64 --idl FILE --output FILE.wxi
//                        --remove-table FILE.idt --component ID SCRIPT...
//
// REF are formatted-text references of the package ("[#FileId]" for the installed DLL,
// "[DIRECTORY]" for its folder); they stand where the scripts say %MODULE% and %MODULEFOLDER%
// (the folder, which the DLL's registration gives with its final backslash, as a directory
// property is) and in the type library's path and help folder. FILE.idt is the RemoveRegistry table (for msibuild -i) that
// deletes the scripts' ForceRemove keys, rows of component ID, before the rows are written. Native build-time tool: single thread; exits 1 with a message
// on standard error for a bad command line, an unreadable file or a script fault.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "com/registry_script.h"
#include "registry_rows.h"
#include "type_library_facts.h"

namespace {

// Stands for the module's path while the scripts are parsed and escaped: it holds no character
// that the scripts' quoting or the formatted-text escaping would touch.
const char kModuleMarker[] = "\x01MODULE\x01";
const char kFolderMarker[] = "\x01FOLDER\x01";

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    if (!(output << text) || !output.flush())
        throw std::runtime_error("cannot write " + path);
}

void ReplaceAll(std::string* text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

struct Options {
    std::string module, folder, idl, output, removeTable, component, platform;
    std::vector<std::pair<std::string, std::string>> replacements;
    std::vector<std::string> scripts;
};

Options ParseCommandLine(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(argument + " needs an argument");
            return argv[++i];
        };
        if (argument == "--module") {
            options.module = next();
        } else if (argument == "--folder") {
            options.folder = next();
        } else if (argument == "--idl") {
            options.idl = next();
        } else if (argument == "--output") {
            options.output = next();
        } else if (argument == "--remove-table") {
            options.removeTable = next();
        } else if (argument == "--platform") {
            options.platform = next();
            if (options.platform != "win32" && options.platform != "win64")
                throw std::runtime_error("--platform wants win32 or win64, not " + options.platform);
        } else if (argument == "--component") {
            options.component = next();
        } else if (argument == "--replace") {
            const std::string pair = next();
            const std::size_t equals = pair.find('=');
            if (equals == std::string::npos || equals == 0)
                throw std::runtime_error("--replace wants NAME=TEXT, not " + pair);
            options.replacements.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        } else if (argument.compare(0, 2, "--") == 0) {
            throw std::runtime_error("unknown option " + argument);
        } else {
            options.scripts.push_back(argument);
        }
    }
    if (options.module.empty() || options.folder.empty() || options.idl.empty() || options.output.empty() ||
        options.removeTable.empty() || options.component.empty() || options.platform.empty() ||
        options.scripts.empty())
        throw std::runtime_error("usage: vantrel_msi_registry --module REF --folder REF [--replace NAME=TEXT]... "
                                 "--platform win32|win64 --idl FILE --output FILE.wxi --remove-table FILE.idt --component ID SCRIPT...");
    return options;
}

void Run(const Options& options)
{
    ReplacementMap replacements;
    for (const auto& [name, text] : options.replacements)
        replacements.Add(name, DoubleSingleQuotes(text));
    replacements.Add("Module", kModuleMarker);
    replacements.Add("Module_Raw", kModuleMarker);
    replacements.Add("ModuleFolder", kFolderMarker);

    std::vector<RegistryRow> rows;
    for (const std::string& path : options.scripts) {
        RegistryScript script;
        const ScriptError error = ParseRegistryScript(ReadFile(path), replacements, &script);
        if (error.status != ScriptStatus::Ok)
            throw std::runtime_error(path + ":" + std::to_string(error.line) + ": " + ScriptStatusText(error.status));
        AppendScriptRows(script, &rows);
    }
    AppendTypeLibraryRows(ReadTypeLibraryFacts(ReadFile(options.idl)), kModuleMarker, options.folder, options.platform, &rows);
    for (RegistryRow& row : rows) {
        ReplaceAll(&row.key, kModuleMarker, options.module);
        ReplaceAll(&row.value, kModuleMarker, options.module);
        ReplaceAll(&row.key, kFolderMarker, options.folder);
        ReplaceAll(&row.value, kFolderMarker, options.folder);
    }

    WriteFile(options.output, WixInclude(rows, "Generated by vantrel_msi_registry from the DLL's registry scripts "
                                               "and its type library; do not edit."));
    WriteFile(options.removeTable, RemoveRegistryTable(rows, options.component));
}

} // namespace

int main(int argc, char** argv)
{
    try {
        Run(ParseCommandLine(argc, argv));
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "vantrel_msi_registry: " << error.what() << "\n";
        return 1;
    }
}
