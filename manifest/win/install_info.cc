#include "manifest/win/install_info.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "common/win/wide_text.h"
#include "common/win/xml_file_win.h"

namespace lorix {
namespace {

using tessal::ComPtr;

constexpr char kStylesheet[] = "indent.xsl";
// IXMLDOMDocument2, which mingw's uuid library lacks.
constexpr IID kIidDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Properties a DOM does not know are left as they are.
void SetBoolProperty(IXMLDOMDocument2* doc, const wchar_t* name, bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  BSTR property = SysAllocString(name);
  if (property != nullptr) doc->setProperty(property, v);
  SysFreeString(property);
}

// The document object of "Microsoft.XMLDOM", used synchronously.
bool CreateDocument(ComPtr<IXMLDOMDocument>* doc) {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Microsoft.XMLDOM", &clsid))) return false;
  if (FAILED(CoCreateInstance(
          clsid, nullptr,
          CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
          IID_IXMLDOMDocument, reinterpret_cast<void**>(doc->put())))) {
    return false;
  }
  (*doc)->put_async(VARIANT_FALSE);
  // A manifest never needs a DTD, an outside entity or a stylesheet that runs
  // code or reads other documents. The file boundary refuses document types
  // anyway; these are for the DOMs that honour them.
  (*doc)->put_resolveExternals(VARIANT_FALSE);
  (*doc)->put_validateOnParse(VARIANT_FALSE);
  ComPtr<IXMLDOMDocument2> doc2;
  if (SUCCEEDED((*doc)->QueryInterface(kIidDocument2, reinterpret_cast<void**>(doc2.put())))) {
    SetBoolProperty(doc2.get(), L"ProhibitDTD", true);
    SetBoolProperty(doc2.get(), L"AllowXsltScript", false);
    SetBoolProperty(doc2.get(), L"AllowDocumentFunction", false);
  }
  return true;
}

// Hands the DOM the bytes already read and checked, as a stream.
HRESULT LoadBytes(IXMLDOMDocument* doc, const std::string& bytes, VARIANT_BOOL* ok) {
  tessal::ScopedGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size()));
  if (!memory.valid()) return E_OUTOFMEMORY;
  void* p = GlobalLock(memory.get());
  if (p != nullptr) std::memcpy(p, bytes.data(), bytes.size());
  GlobalUnlock(memory.get());
  ComPtr<IStream> stream;
  if (p == nullptr || FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, stream.put())))
    return E_OUTOFMEMORY;
  memory.release();  // the stream frees it
  ULARGE_INTEGER size;
  size.QuadPart = bytes.size();
  stream->SetSize(size);
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream.get();
  return doc->load(source, ok);
}

enum class DocumentLoad { kLoaded, kFailed, kRefused };

// Loads a file through the euc-kr-aware file boundary. Otherwise the thread's
// last error is set as well as it is known.
DocumentLoad LoadDocumentFile(IXMLDOMDocument* doc, const std::string& path) {
  tessal::XmlFileRead read = tessal::ReadXmlFileForDom(path);
  VARIANT_BOOL ok = VARIANT_FALSE;
  HRESULT hr = E_FAIL;
  if (read.result == tessal::XmlFileRead::kFailed || read.result == tessal::XmlFileRead::kRefused) {
    SetLastError(read.error);
    return read.result == tessal::XmlFileRead::kRefused ? DocumentLoad::kRefused
                                                        : DocumentLoad::kFailed;
  }
  if (read.result == tessal::XmlFileRead::kText) {
    BSTR text = SysAllocStringLen(read.text.data(), static_cast<UINT>(read.text.size()));
    if (text == nullptr) return DocumentLoad::kFailed;
    hr = doc->loadXML(text, &ok);
    SysFreeString(text);
  } else {
    hr = LoadBytes(doc, read.bytes, &ok);
  }
  if (FAILED(hr) || ok != VARIANT_TRUE) {
    if (GetLastError() == 0) SetLastError(ERROR_INVALID_DATA);
    return DocumentLoad::kFailed;
  }
  return DocumentLoad::kLoaded;
}

bool SaveDocumentFile(IXMLDOMDocument* doc, const std::string& path) {
  BSTR xml = nullptr;
  if (FAILED(doc->get_xml(&xml)) || xml == nullptr) return false;
  bool ok = tessal::WriteXmlFileEucKr(path, std::wstring_view(xml, SysStringLen(xml)));
  SysFreeString(xml);
  return ok;
}

// A new, empty file of a name no other file had, in the caller's own temporary
// folder (the library runs with its caller's rights): the save's intermediate
// copy is never a fixed name that another process could have put there first
// (or a link). Empty when none could be made. Deleting it later removes that
// name itself, never what a link points to, so no other user's file is reached.
std::string NewTemporaryFile() {
  char folder[MAX_PATH + 1] = "";
  char name[MAX_PATH + 1] = "";
  DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > MAX_PATH || GetTempFileNameA(folder, "lrx", 0, name) == 0) return "";
  return name;
}

bool IsName(const wchar_t* name, const char* ascii) {
  if (name == nullptr) return false;
  const wchar_t* p = name;
  for (; *ascii != 0; ++p, ++ascii) {
    if (*p != static_cast<unsigned char>(*ascii)) return false;
  }
  return *p == 0;
}

// The node's name; empty when it has none.
std::wstring WideNameOf(IXMLDOMNode* node) {
  tessal::ScopedBstr name;
  if (FAILED(node->get_nodeName(name.receive()))) return std::wstring();
  return std::wstring(name.view());
}

std::string NameOf(IXMLDOMNode* node) { return tessal::Narrow(WideNameOf(node)); }

DOMNodeType TypeOf(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  node->get_nodeType(&type);
  return type;
}

// Iterates the child nodes of a node in document order.
class Children {
 public:
  explicit Children(IXMLDOMNode* parent) {
    if (FAILED(parent->get_firstChild(&current_))) current_ = nullptr;
  }
  Children(const Children&) = delete;
  Children& operator=(const Children&) = delete;
  ~Children() {
    if (current_ != nullptr) current_->Release();
  }
  IXMLDOMNode* get() const { return current_; }
  void Next() {
    IXMLDOMNode* next = nullptr;
    if (FAILED(current_->get_nextSibling(&next))) next = nullptr;
    current_->Release();
    current_ = next;
  }

 private:
  IXMLDOMNode* current_ = nullptr;
};

// The concatenated text of a node's contents, in UTF-16.
void AppendText(IXMLDOMNode* node, std::wstring* out, int depth) {
  DOMNodeType type = TypeOf(node);
  if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(node->get_nodeValue(&value)) && value.vt == VT_BSTR && value.bstrVal != nullptr) {
      out->append(value.bstrVal, SysStringLen(value.bstrVal));
    }
    VariantClear(&value);
    return;
  }
  if ((type != NODE_ELEMENT && type != NODE_ENTITY_REFERENCE) || depth > 64) return;
  for (Children c(node); c.get() != nullptr; c.Next()) AppendText(c.get(), out, depth + 1);
}

std::string TextOf(IXMLDOMNode* node) {
  std::wstring text;
  AppendText(node, &text, 0);
  return tessal::Narrow(text);
}

}  // namespace

int CXML::Load(const char* path) {
  if (!CreateDocument(&document_)) {
    SetLastErrorText("XML Instance create error");
    return 0;
  }
  DocumentLoad loaded = LoadDocumentFile(document_.get(), path != nullptr ? path : "");
  if (loaded != DocumentLoad::kLoaded) {
    int error = static_cast<int>(GetLastError());
    if (loaded == DocumentLoad::kRefused) {
      SetLastErrorText("XML load error %d : document type declaration refused", error);
    } else {
      SetLastErrorText("XML load error %d", error);
    }
    document_.reset();
    return 0;
  }
  bool parsed = ParseDocument();
  document_.reset();
  return parsed ? 1 : 0;
}

int CXML::Save(const char* path) {
  if (!CreateDocument(&document_)) {
    SetLastErrorText("XML Instance create error");
    return 0;
  }
  if (!BuildDocument()) {
    SetLastErrorText("XML node create error");
    document_.reset();
    return 0;
  }
  std::string temp = NewTemporaryFile();
  bool saved = !temp.empty() && SaveDocumentFile(document_.get(), temp);
  document_.reset();
  if (!saved) {
    if (!temp.empty()) DeleteFileA(temp.c_str());
    SetLastErrorText("XML save error");
    return 0;
  }
  // The stylesheet decides the layout of the file that is finally written.
  ComPtr<IXMLDOMDocument> raw, style, indented;
  bool ok = CreateDocument(&raw) && CreateDocument(&style) && CreateDocument(&indented) &&
            LoadDocumentFile(raw.get(), temp) == DocumentLoad::kLoaded &&
            LoadDocumentFile(style.get(), kStylesheet) == DocumentLoad::kLoaded;
  if (ok) {
    VARIANT out;
    VariantInit(&out);
    out.vt = VT_UNKNOWN;
    out.punkVal = indented.get();
    ComPtr<IXMLDOMNode> style_node;
    ok = SUCCEEDED(
             style->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(style_node.put()))) &&
         SUCCEEDED(raw->transformNodeToObject(style_node.get(), out));
    ComPtr<IXMLDOMElement> root;
    ok = ok && SUCCEEDED(indented->get_documentElement(root.put())) && root;
    ok = ok && SaveDocumentFile(indented.get(), path != nullptr ? path : "");
  }
  DeleteFileA(temp.c_str());
  if (!ok) {
    SetLastErrorText("XML indent change fail");
    return 0;
  }
  return 1;
}

namespace {

using SectionNodes = std::array<ComPtr<IXMLDOMNode>, kSectionOrder.size()>;

// The first child element of the root of each section's name.
void FindSections(IXMLDOMElement* root, SectionNodes* sections) {
  for (Children c(root); c.get() != nullptr; c.Next()) {
    if (TypeOf(c.get()) != NODE_ELEMENT) continue;
    std::wstring name = WideNameOf(c.get());
    for (std::size_t i = 0; i < kSectionOrder.size(); ++i) {
      if (!(*sections)[i] && IsName(name.c_str(), SectionName(kSectionOrder[i]))) {
        (*sections)[i].share(c.get());
        break;
      }
    }
  }
}

// The fields of one entry element, each from the first child of its name.
EntryTexts ReadEntry(IXMLDOMNode* entry_node, const std::vector<const char*>& fields) {
  EntryTexts entry;
  if (TypeOf(entry_node) != NODE_ELEMENT) return entry;
  for (Children f(entry_node); f.get() != nullptr; f.Next()) {
    if (TypeOf(f.get()) != NODE_ELEMENT) continue;
    std::wstring name = WideNameOf(f.get());
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (!entry.seen[k] && IsName(name.c_str(), fields[k])) {
        entry.Offer(static_cast<int>(k), TextOf(f.get()));
        break;
      }
    }
  }
  return entry;
}

// Every child of one section into the model; false with the reason.
bool LoadSection(Section section, IXMLDOMNode* node, InstallModel* next, std::string* error) {
  const std::vector<const char*>& fields = EntryFieldNames(section);
  for (Children c(node); c.get() != nullptr; c.Next()) {
    bool element = TypeOf(c.get()) == NODE_ELEMENT;
    bool ok;
    if (IsEntrySection(section)) {
      ok = next->LoadEntry(section, ReadEntry(c.get(), fields), error);
    } else if (section == Section::kConfig) {
      ok = next->LoadConfigField(NameOf(c.get()), element ? TextOf(c.get()) : std::string(), error);
    } else {
      ok = next->LoadCommand(section, element ? TextOf(c.get()) : std::string(), error);
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool CInstallInfo::ParseDocument() {
  try {
    ComPtr<IXMLDOMElement> root;
    if (FAILED(document()->get_documentElement(root.put())) || !root) {
      SetLastErrorText("XML parse error : no document element");
      return false;
    }
    SectionNodes sections;
    FindSections(root.get(), &sections);
    InstallModel next;
    std::string error;
    for (std::size_t i = 0; i < kSectionOrder.size(); ++i) {
      if (sections[i] && !LoadSection(kSectionOrder[i], sections[i].get(), &next, &error)) {
        SetLastErrorText("%s", error.c_str());
        return false;
      }
    }
    model_ = std::move(next);
    return true;
  } catch (...) {
    SetLastErrorText("XML parse error");
    return false;
  }
}

namespace {

// Appends <name>text</name> to the parent.
bool AppendTextElement(IXMLDOMDocument* doc, IXMLDOMNode* parent, BSTR name,
                       const std::string& text) {
  ComPtr<IXMLDOMElement> element;
  if (FAILED(doc->createElement(name, element.put())) || !element) return false;
  tessal::ScopedBstr data(std::wstring_view(tessal::Widen(text)));
  ComPtr<IXMLDOMText> node;
  if (FAILED(doc->createTextNode(data.get(), node.put())) || !node) return false;
  ComPtr<IXMLDOMNode> added;
  if (FAILED(element->appendChild(node.get(), added.put()))) return false;
  ComPtr<IXMLDOMNode> added_element;
  return SUCCEEDED(parent->appendChild(element.get(), added_element.put()));
}

// A BSTR of an ASCII name or text.
class Bstr : public tessal::ScopedBstr {
 public:
  explicit Bstr(const std::string& ascii) : ScopedBstr(std::wstring_view(tessal::Widen(ascii))) {}
};

}  // namespace

bool CInstallInfo::BuildDocument() {
  try {
    IXMLDOMDocument* doc = document();
    ComPtr<IXMLDOMProcessingInstruction> pi;
    Bstr target("xml"), data("version=\"1.0\" encoding=\"euc-kr\"");
    if (FAILED(doc->createProcessingInstruction(target.get(), data.get(), pi.put())) || !pi)
      return false;
    ComPtr<IXMLDOMNode> added;
    if (FAILED(doc->appendChild(pi.get(), added.put()))) return false;
    ComPtr<IXMLDOMElement> setup;
    Bstr setup_name("SETUP");
    if (FAILED(doc->createElement(setup_name.get(), setup.put())) || !setup) return false;
    for (Section section : kSectionOrder) {
      if (!AppendSection(doc, setup.get(), section)) return false;
    }
    ComPtr<IXMLDOMNode> out;
    return SUCCEEDED(doc->appendChild(setup.get(), out.put()));
  } catch (...) {
    return false;
  }
}

bool CInstallInfo::AppendSection(IXMLDOMDocument* doc, IXMLDOMElement* setup, Section section) {
  ComPtr<IXMLDOMElement> element;
  Bstr section_name(SectionName(section));
  if (FAILED(doc->createElement(section_name.get(), element.put())) || !element) return false;
  std::vector<std::unique_ptr<Bstr>> field_names;
  for (const char* n : EntryFieldNames(section)) field_names.push_back(std::make_unique<Bstr>(n));
  const char* entry_name_text = EntryName(section);
  Bstr entry_name(entry_name_text != nullptr ? entry_name_text : "");
  // One entry element with a child per field.
  auto add_entry = [&](const std::vector<std::string>& texts) {
    ComPtr<IXMLDOMElement> entry;
    if (FAILED(doc->createElement(entry_name.get(), entry.put())) || !entry) return false;
    for (std::size_t k = 0; k < texts.size(); ++k) {
      if (!AppendTextElement(doc, entry.get(), field_names[k]->get(), texts[k])) return false;
    }
    ComPtr<IXMLDOMNode> out;
    return SUCCEEDED(element->appendChild(entry.get(), out.put()));
  };
  bool ok = true;
  switch (section) {
    case Section::kReserve:
      for (const auto& [key, word] : model_.reserved_words()) {
        ok = ok && add_entry({key, word->meaning});  // the real text stays in memory
      }
      break;
    case Section::kConfig:
      for (const auto& [name, value] : model_.config()) {
        // A field made from a comment has no element to go back into.
        if (IsDomPseudoName(name)) continue;
        if (!IsXmlElementName(name)) return false;
        Bstr field(name);
        ok = ok && AppendTextElement(doc, element.get(), field.get(), value);
      }
      break;
    case Section::kFiles:
      for (const auto& f : model_.files()) ok = ok && add_entry(model_.FileTexts(*f));
      break;
    case Section::kRegistrys:
      for (const auto& r : model_.registry()) ok = ok && add_entry(model_.RegistryTexts(*r));
      break;
    case Section::kPreKills:
    case Section::kUpKills:
      for (const auto& k :
           model_.kills(section == Section::kPreKills ? KillList::kPre : KillList::kUp)) {
        ok = ok && add_entry({k->class_name, k->title});
      }
      break;
    default:
      for (const std::string& command : model_.commands(CommandListOf(section))) {
        ok = ok && AppendTextElement(doc, element.get(), entry_name.get(), command);
      }
      break;
  }
  ComPtr<IXMLDOMNode> out;
  return ok && SUCCEEDED(setup->appendChild(element.get(), out.put()));
}

CInstallInfo& TheInstallInfo() {
  static CInstallInfo info;
  return info;
}

}  // namespace lorix
