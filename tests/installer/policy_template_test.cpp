// The Group Policy template deploy/Vantrel.admx with its deploy/en-US/Vantrel.adml (copied into
// build/deploy by the build): both are well-formed XML, every policy is a machine policy that
// writes one of the add-in's four settings under SOFTWARE\Vantrel as the REG_SZ text the add-in
// reads, and every text and presentation that the template names exists in the language file.
#include <gtest/gtest.h>

#include <windows.h>

#include <msxml2.h>
#include <wrl/client.h>

#include <fstream>
#include <set>

#include "com/raii.h"
#include "com/text_convert.h"
#include "installer/package_support.h"
#include "support/test_support.h"

namespace {

using Microsoft::WRL::ComPtr;

// MSXML 3.0's DOM document, which Windows and Wine both provide.
const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};

const std::set<std::string> kSettings = {"Enabled", "Delay", "ShowExitDialog", "CloseWinWord"};

std::string Narrow(BSTR text)
{
    return text ? ToNarrow(std::wstring_view(text, SysStringLen(text)), CP_UTF8) : std::string();
}

class XmlFile {
public:
    // Loads and parses the file; parseError() says why when loaded() is false.
    explicit XmlFile(const std::string& path)
    {
        if (FAILED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                    reinterpret_cast<void**>(m_document.GetAddressOf())))) {
            m_error = "no MSXML 3.0";
            return;
        }
        (void)m_document->put_async(VARIANT_FALSE);
        (void)m_document->put_resolveExternals(VARIANT_FALSE);
        UniqueVariant source;
        source.get()->vt = VT_BSTR;
        source.get()->bstrVal = SysAllocString(ToWide(path, CP_ACP).c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (SUCCEEDED(m_document->load(*source.get(), &ok)) && ok == VARIANT_TRUE) {
            m_loaded = true;
            return;
        }
        ComPtr<IXMLDOMParseError> error;
        UniqueBstr reason;
        long line = 0;
        if (SUCCEEDED(m_document->get_parseError(&error)) && error) {
            (void)error->get_reason(reason.put());
            (void)error->get_line(&line);
        }
        m_error = path + ":" + std::to_string(line) + ": " + Narrow(reason.get());
    }

    bool loaded() const { return m_loaded; }
    const std::string& parseError() const { return m_error; }

    // Every element of that name, in document order.
    std::vector<ComPtr<IXMLDOMElement>> Elements(const char* name) const { return ElementsBelow(nullptr, name); }

    std::vector<ComPtr<IXMLDOMElement>> ElementsBelow(IXMLDOMElement* parent, const char* name) const
    {
        std::vector<ComPtr<IXMLDOMElement>> elements;
        ComPtr<IXMLDOMNodeList> list;
        UniqueBstr tag(SysAllocString(ToWide(name, CP_UTF8).c_str()));
        const HRESULT hr = parent ? parent->getElementsByTagName(tag.get(), &list)
                                  : m_document->getElementsByTagName(tag.get(), &list);
        if (FAILED(hr) || !list)
            return elements;
        ComPtr<IXMLDOMNode> node;
        while (list->nextNode(node.ReleaseAndGetAddressOf()) == S_OK && node) {
            ComPtr<IXMLDOMElement> element;
            // msxml2.h declares no __uuidof for its interfaces; libuuid has their IIDs.
            if (SUCCEEDED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.GetAddressOf()))))
                elements.push_back(element);
        }
        return elements;
    }

private:
    ComPtr<IXMLDOMDocument> m_document;
    bool m_loaded = false;
    std::string m_error;
};

// The attribute's text, or "(none)".
std::string Attribute(IXMLDOMElement* element, const char* name)
{
    UniqueVariant value;
    UniqueBstr attribute(SysAllocString(ToWide(name, CP_UTF8).c_str()));
    if (element->getAttribute(attribute.get(), value.put()) != S_OK || value.get()->vt != VT_BSTR)
        return "(none)";
    return Narrow(value.get()->bstrVal);
}

std::string Text(IXMLDOMElement* element)
{
    UniqueBstr text;
    return SUCCEEDED(element->get_text(text.put())) ? Narrow(text.get()) : std::string();
}

// The ids that "$(kind.id)" references name in the attributes of every element.
std::set<std::string> References(const XmlFile& file, const std::string& kind)
{
    std::set<std::string> ids;
    const std::string prefix = "$(" + kind + ".";
    for (const auto& element : file.Elements("*")) {
        for (const char* name : {"displayName", "explainText", "presentation"}) {
            const std::string value = Attribute(element.Get(), name);
            if (value.rfind(prefix, 0) == 0 && value.back() == ')')
                ids.insert(value.substr(prefix.size(), value.size() - prefix.size() - 1));
        }
    }
    return ids;
}

std::set<std::string> Ids(const XmlFile& file, const char* element)
{
    std::set<std::string> ids;
    for (const auto& entry : file.Elements(element))
        ids.insert(Attribute(entry.Get(), "id"));
    return ids;
}

class PolicyTemplateTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_com.result())); }
    CoInitializeGuard m_com;
};

TEST_F(PolicyTemplateTest, EveryPolicyWritesOneOfTheFourSettingsAsText)
{
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    std::set<std::string> written;
    for (const auto& policy : admx.Elements("policy")) {
        const std::string name = Attribute(policy.Get(), "name");
        SCOPED_TRACE("policy " + name);
        EXPECT_EQ(Attribute(policy.Get(), "class"), "Machine");
        EXPECT_EQ(Attribute(policy.Get(), "key"), "SOFTWARE\\Vantrel");
        const std::string valueName = Attribute(policy.Get(), "valueName");
        if (valueName != "(none)") {
            // An on/off policy: "1" and "0" as strings, never as numbers.
            written.insert(valueName);
            EXPECT_EQ(kSettings.count(valueName), 1u) << valueName;
            for (const char* state : {"enabledValue", "disabledValue"}) {
                const auto values = admx.ElementsBelow(policy.Get(), state);
                ASSERT_EQ(values.size(), 1u) << state;
                const auto strings = admx.ElementsBelow(values.front().Get(), "string");
                ASSERT_EQ(strings.size(), 1u) << state << " must write REG_SZ";
                EXPECT_EQ(Text(strings.front().Get()), state == std::string("enabledValue") ? "1" : "0");
            }
        }
        for (const auto& decimal : admx.ElementsBelow(policy.Get(), "decimal")) {
            const std::string decimalValue = Attribute(decimal.Get(), "valueName");
            written.insert(decimalValue);
            EXPECT_EQ(kSettings.count(decimalValue), 1u) << decimalValue;
            EXPECT_EQ(Attribute(decimal.Get(), "storeAsText"), "true") << "the add-in reads REG_SZ only";
        }
        for (const char* other : {"boolean", "text", "enum", "list", "multiText"})
            EXPECT_TRUE(admx.ElementsBelow(policy.Get(), other).empty()) << other;
    }
    EXPECT_EQ(written, kSettings) << "each setting has its policy";
}

TEST_F(PolicyTemplateTest, LanguageFileHoldsEveryTextAndPresentation)
{
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    XmlFile adml(BuildFilePath("deploy\\en-US\\Vantrel.adml"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    ASSERT_TRUE(adml.loaded()) << adml.parseError();
    const std::set<std::string> strings = Ids(adml, "string");
    for (const std::string& id : References(admx, "string"))
        EXPECT_EQ(strings.count(id), 1u) << "string " << id;
    const std::set<std::string> presentations = Ids(adml, "presentation");
    for (const std::string& id : References(admx, "presentation"))
        EXPECT_EQ(presentations.count(id), 1u) << "presentation " << id;
    EXPECT_FALSE(References(admx, "string").empty());
}

TEST_F(PolicyTemplateTest, MalformedXmlIsReported)
{
    // The checks above are only worth something if a broken file fails to load.
    ScopedTempDir temp;
    const std::string path = temp.file("broken.admx");
    std::ofstream(path) << "<policyDefinitions><policies></policyDefinitions>";
    XmlFile broken(path);
    EXPECT_FALSE(broken.loaded());
}

} // namespace
