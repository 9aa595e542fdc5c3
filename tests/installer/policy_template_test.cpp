// The Group Policy template deploy/Vantrel.admx with its deploy/en-US/Vantrel.adml (copied into
// build/deploy by the build): both are well-formed XML, every policy is available for computers
// and users and enforces one of the add-in's settings (the names the settings code reads) as a
// REG_DWORD under SOFTWARE\Policies\Vantrel, the key the add-in reads them from, and every text
// and presentation that the template names exists in the language file.
#include <gtest/gtest.h>

#include <windows.h>

#include <msxml2.h>
#include <wrl/client.h>

#include <fstream>
#include <set>

#include "com/raii.h"
#include "com/text_convert.h"
#include "installer/package_support.h"
#include "settings/settings_store.h"
#include "support/test_support.h"

namespace {

using Microsoft::WRL::ComPtr;

// MSXML 3.0's DOM document, which Windows and Wine both provide.
const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};

// The names the add-in reads from its policy keys.
const std::set<std::string> kSettings(std::begin(kSettingNames), std::end(kSettingNames));

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

// The one element of that name below parent, or null (with a failure) when there is not exactly one.
ComPtr<IXMLDOMElement> Only(const XmlFile& file, IXMLDOMElement* parent, const char* name)
{
    const auto elements = file.ElementsBelow(parent, name);
    EXPECT_EQ(elements.size(), 1u) << name;
    if (elements.size() != 1)
        return nullptr;
    return elements.front();
}

TEST_F(PolicyTemplateTest, EveryPolicyEnforcesASettingWhereTheAddinReadsIt)
{
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    // Nothing in the template writes anywhere else: not the machine defaults under
    // SOFTWARE\Vantrel, which are the package's.
    for (const auto& element : admx.Elements("*")) {
        const std::string key = Attribute(element.Get(), "key");
        if (key != "(none)") {
            EXPECT_EQ(key, kPolicyKey) << "every key the template names";
        }
    }
    std::set<std::string> written;
    for (const auto& policy : admx.Elements("policy")) {
        const std::string name = Attribute(policy.Get(), "name");
        SCOPED_TRACE("policy " + name);
        EXPECT_EQ(Attribute(policy.Get(), "class"), "Both") << "for computers and for users";
        EXPECT_EQ(Attribute(policy.Get(), "key"), kPolicyKey);
        for (const char* other : {"boolean", "text", "enum", "list", "multiText", "string", "longDecimal"})
            EXPECT_TRUE(admx.ElementsBelow(policy.Get(), other).empty()) << other << ": the add-in reads numbers";
        const std::string valueName = Attribute(policy.Get(), "valueName");
        if (valueName != "(none)") {
            // An on/off policy: 1 and 0 as REG_DWORD.
            written.insert(valueName);
            EXPECT_EQ(kSettings.count(valueName), 1u) << valueName;
            for (const char* state : {"enabledValue", "disabledValue"}) {
                const ComPtr<IXMLDOMElement> value = Only(admx, policy.Get(), state);
                const ComPtr<IXMLDOMElement> number = value ? Only(admx, value.Get(), "decimal") : nullptr;
                if (number) {
                    EXPECT_EQ(Attribute(number.Get(), "value"), state == std::string("enabledValue") ? "1" : "0");
                }
            }
            EXPECT_TRUE(admx.ElementsBelow(policy.Get(), "elements").empty());
            continue;
        }
        // A number policy: its decimal element is a REG_DWORD of the setting, in the range the
        // page and the worker take, and Disabled deletes it.
        const auto elements = Only(admx, policy.Get(), "elements");
        ASSERT_NE(elements.Get(), nullptr);
        const auto decimal = Only(admx, elements.Get(), "decimal");
        ASSERT_NE(decimal.Get(), nullptr);
        const std::string decimalValue = Attribute(decimal.Get(), "valueName");
        written.insert(decimalValue);
        EXPECT_EQ(kSettings.count(decimalValue), 1u) << decimalValue;
        EXPECT_NE(Attribute(decimal.Get(), "storeAsText"), "true") << "Group Policy's numbers are REG_DWORD";
        EXPECT_EQ(Attribute(decimal.Get(), "minValue"), "0");
        EXPECT_EQ(Attribute(decimal.Get(), "maxValue"), "3600");
        EXPECT_TRUE(admx.ElementsBelow(policy.Get(), "disabledValue").empty());
        const auto disabled = Only(admx, policy.Get(), "disabledList");
        ASSERT_NE(disabled.Get(), nullptr);
        const auto item = Only(admx, disabled.Get(), "item");
        ASSERT_NE(item.Get(), nullptr);
        EXPECT_EQ(Attribute(item.Get(), "valueName"), decimalValue);
        EXPECT_EQ(admx.ElementsBelow(item.Get(), "delete").size(), 1u) << "Disabled removes the enforced value";
    }
    EXPECT_EQ(written, kSettings) << "each setting has its policy";
}

// The Delay's box offers a default inside the range the policy allows.
TEST_F(PolicyTemplateTest, DelayBoxDefaultsInsideItsRange)
{
    XmlFile adml(BuildFilePath("deploy\\en-US\\Vantrel.adml"));
    ASSERT_TRUE(adml.loaded()) << adml.parseError();
    const auto boxes = adml.Elements("decimalTextBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(Attribute(boxes.front().Get(), "refId"), "Delay");
    const int defaultValue = std::stoi(Attribute(boxes.front().Get(), "defaultValue"));
    EXPECT_GE(defaultValue, 0);
    EXPECT_LE(defaultValue, 3600);
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
