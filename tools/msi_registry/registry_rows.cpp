#include "registry_rows.h"

#include <stdexcept>

namespace {

RegistryRow::Root RowRoot(ScriptRoot root)
{
    switch (root) {
    case ScriptRoot::ClassesRoot:
        return RegistryRow::Root::ClassesRoot;
    case ScriptRoot::LocalMachine:
        return RegistryRow::Root::LocalMachine;
    default:
        // A per-machine package writes no user's hive.
        throw std::runtime_error("registry script: only HKCR and HKLM blocks can go into the package");
    }
}

RegistryRow DataRow(RegistryRow::Root root, const std::string& key, const std::string& name,
                    const ScriptValueData& data)
{
    RegistryRow row;
    row.root = root;
    row.key = key;
    row.name = name;
    switch (data.type) {
    case ScriptValueType::String:
        row.type = RegistryRow::Type::String;
        row.value = FormattedLiteral(data.text);
        break;
    case ScriptValueType::Dword:
        row.type = RegistryRow::Type::Dword;
        row.value = std::to_string(data.number);
        break;
    default:
        throw std::runtime_error("registry script: binary data in " + key + " is not supported in the package");
    }
    return row;
}

bool HoldsValue(const ScriptNode& key)
{
    if (key.hasData)
        return true;
    for (const ScriptNode& child : key.children) {
        if (child.isValue)
            return true;
    }
    return false;
}

void AppendKey(RegistryRow::Root root, const std::string& parent, const ScriptNode& node, std::vector<RegistryRow>* rows)
{
    const std::string key = parent.empty() ? node.name : parent + "\\" + node.name;
    if (node.mark == ScriptMark::Delete)
        throw std::runtime_error("registry script: Delete keys are not supported in the package (" + key + ")");
    if (node.mark == ScriptMark::ForceRemove || (node.mark == ScriptMark::None && !HoldsValue(node)))
        rows->push_back({root, FormattedLiteral(key), "*", RegistryRow::Type::KeyOnly, {},
                         node.mark == ScriptMark::ForceRemove});
    if (node.hasData)
        rows->push_back(DataRow(root, FormattedLiteral(key), "", node.data));
    for (const ScriptNode& child : node.children) {
        if (!child.isValue) {
            AppendKey(root, key, child, rows);
        } else {
            if (child.mark == ScriptMark::NoRemove)
                throw std::runtime_error("registry script: NoRemove values are not supported in the package (" + key + ")");
            rows->push_back(DataRow(root, FormattedLiteral(key), child.name, child.data));
        }
    }
}

std::string XmlAttribute(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

} // namespace

std::string FormattedLiteral(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (c == '[')
            escaped += "[\\[]";
        else if (c == ']')
            escaped += "[\\]]";
        else
            escaped += c;
    }
    return escaped;
}

void AppendScriptRows(const RegistryScript& script, std::vector<RegistryRow>* rows)
{
    for (const ScriptRootBlock& block : script) {
        const RegistryRow::Root root = RowRoot(block.root);
        for (const ScriptNode& node : block.entries) {
            if (node.isValue)
                throw std::runtime_error("registry script: a value directly below a root key");
            AppendKey(root, "", node, rows);
        }
    }
}

void AppendTypeLibraryRows(const TypeLibraryFacts& library, const std::string& modulePath,
                           const std::string& helpFolder, const std::string& systemKind,
                           std::vector<RegistryRow>* rows)
{
    using Root = RegistryRow::Root;
    using Type = RegistryRow::Type;
    const std::string version = "TypeLib\\" + library.libid + "\\" + library.version;
    rows->push_back({Root::ClassesRoot, version, "*", Type::KeyOnly, {}});
    rows->push_back({Root::ClassesRoot, version, "", Type::String, FormattedLiteral(library.helpString)});
    rows->push_back({Root::ClassesRoot, version + "\\" + library.lcid + "\\" + systemKind, "", Type::String, modulePath});
    rows->push_back({Root::ClassesRoot, version + "\\FLAGS", "", Type::String, "0"});
    rows->push_back({Root::ClassesRoot, version + "\\HELPDIR", "", Type::String, helpFolder});
    // The automation marshaler (PSOAInterface) serves every dual or oleautomation interface.
    const std::string marshaler = "{00020424-0000-0000-C000-000000000046}";
    for (const TypeLibraryInterface& entry : library.automationInterfaces) {
        const std::string key = "Interface\\" + entry.iid;
        rows->push_back({Root::ClassesRoot, key, "*", Type::KeyOnly, {}});
        rows->push_back({Root::ClassesRoot, key, "", Type::String, FormattedLiteral(entry.name)});
        rows->push_back({Root::ClassesRoot, key + "\\ProxyStubClsid", "", Type::String, marshaler});
        rows->push_back({Root::ClassesRoot, key + "\\ProxyStubClsid32", "", Type::String, marshaler});
        rows->push_back({Root::ClassesRoot, key + "\\TypeLib", "", Type::String, library.libid});
        rows->push_back({Root::ClassesRoot, key + "\\TypeLib", "Version", Type::String, library.version});
    }
}

std::string WixInclude(const std::vector<RegistryRow>& rows, const std::string& comment)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- " + comment + " -->\n<Include>\n";
    for (const RegistryRow& row : rows) {
        xml += "  <RegistryValue Root=\"";
        xml += row.root == RegistryRow::Root::ClassesRoot ? "HKCR" : "HKLM";
        xml += "\" Key=\"" + XmlAttribute(row.key) + "\"";
        if (!row.name.empty())
            xml += " Name=\"" + XmlAttribute(row.name) + "\"";
        switch (row.type) {
        case RegistryRow::Type::String:
            xml += " Type=\"string\" Value=\"" + XmlAttribute(row.value) + "\"";
            break;
        case RegistryRow::Type::Dword:
            xml += " Type=\"integer\" Value=\"" + row.value + "\"";
            break;
        case RegistryRow::Type::KeyOnly:
            // An empty value is the installer's null (wixl warns about a missing one).
            xml += " Type=\"string\" Value=\"\"";
            break;
        }
        xml += "/>\n";
    }
    return xml + "</Include>\n";
}

std::string RemoveRegistryTable(const std::vector<RegistryRow>& rows, const std::string& component)
{
    std::string table = "RemoveRegistry\tRoot\tKey\tName\tComponent_\n"
                        "s72\ti2\tl255\tL255\ts72\n"
                        "RemoveRegistry\tRemoveRegistry\n";
    int number = 0;
    for (const RegistryRow& row : rows) {
        if (!row.deleteOnInstall)
            continue;
        const char* root = row.root == RegistryRow::Root::ClassesRoot ? "0" : "2";
        table += "VantrelForceRemove" + std::to_string(++number) + "\t" + root + "\t" + row.key + "\t-\t" + component +
                 "\n";
    }
    return table;
}
