// The firewall registration against fake firewall objects: Wine's own objects
// accept every call, so they cannot show what the registration decides.
#include "agent/win/firewall.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestra {
namespace {

// IUnknown and IDispatch for the fakes; every other method says E_NOTIMPL.
template <typename Interface>
class FakeDispatch : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Interface)) {
      *out = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // owned by the test
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  ULONG refs() const { return refs_; }

 protected:
  ULONG refs_ = 1;
};

class FakeApp : public FakeDispatch<INetFwAuthorizedApplication> {
 public:
  std::wstring name, image;
  VARIANT_BOOL enabled = VARIANT_TRUE;
  HRESULT enabled_result = S_OK;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR n) override {
    name = n;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ProcessImageFileName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ProcessImageFileName(BSTR i) override {
    image = i;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IpVersion(NET_FW_IP_VERSION*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IpVersion(NET_FW_IP_VERSION) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Scope(NET_FW_SCOPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Scope(NET_FW_SCOPE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* e) override {
    *e = enabled;
    return enabled_result;
  }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
};

class FakeApps : public FakeDispatch<INetFwAuthorizedApplications> {
 public:
  std::map<std::wstring, FakeApp*> entries;
  std::vector<FakeApp*> added;
  HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Add(INetFwAuthorizedApplication* app) override {
    app->AddRef();  // a collection keeps what it holds
    added.push_back(static_cast<FakeApp*>(app));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Remove(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Item(BSTR image, INetFwAuthorizedApplication** app) override {
    auto it = entries.find(image);
    if (it == entries.end()) {
      *app = nullptr;
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    it->second->AddRef();
    *app = it->second;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
};

class FakeProfile : public FakeDispatch<INetFwProfile> {
 public:
  FakeApps* apps = nullptr;
  HRESULT STDMETHODCALLTYPE get_Type(NET_FW_PROFILE_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FirewallEnabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FirewallEnabled(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ExceptionsNotAllowed(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ExceptionsNotAllowed(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE
  get_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  put_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_RemoteAdminSettings(INetFwRemoteAdminSettings**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_IcmpSettings(INetFwIcmpSettings**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_GloballyOpenPorts(INetFwOpenPorts**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Services(INetFwServices**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE
  get_AuthorizedApplications(INetFwAuthorizedApplications** out) override {
    apps->AddRef();
    *out = apps;
    return S_OK;
  }
};

class FakePolicy : public FakeDispatch<INetFwPolicy> {
 public:
  FakeProfile* profile = nullptr;
  HRESULT STDMETHODCALLTYPE get_CurrentProfile(INetFwProfile** out) override {
    profile->AddRef();
    *out = profile;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetProfileByType(NET_FW_PROFILE_TYPE, INetFwProfile**) override {
    return E_NOTIMPL;
  }
};

class FakeManager : public FakeDispatch<INetFwMgr> {
 public:
  FakePolicy* policy = nullptr;
  HRESULT policy_result = S_OK;
  HRESULT STDMETHODCALLTYPE get_LocalPolicy(INetFwPolicy** out) override {
    if (FAILED(policy_result)) return policy_result;
    policy->AddRef();
    *out = policy;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CurrentProfileType(NET_FW_PROFILE_TYPE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RestoreDefaults() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsPortAllowed(BSTR, NET_FW_IP_VERSION, LONG, BSTR, NET_FW_IP_PROTOCOL,
                                          VARIANT*, VARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE IsIcmpTypeAllowed(NET_FW_IP_VERSION, BSTR, BYTE, VARIANT*,
                                              VARIANT*) override {
    return E_NOTIMPL;
  }
};

class FakeFirewall : public FirewallObjects {
 public:
  FakeFirewall() {
    manager.policy = &policy;
    policy.profile = &profile;
    profile.apps = &apps;
  }
  HRESULT CreateManager(INetFwMgr** out) override {
    manager.AddRef();
    *out = &manager;
    return S_OK;
  }
  HRESULT CreateApplication(INetFwAuthorizedApplication** out) override {
    if (FAILED(create_app_result)) return create_app_result;
    new_app.AddRef();
    *out = &new_app;
    return S_OK;
  }
  FakeManager manager;
  FakePolicy policy;
  FakeProfile profile;
  FakeApps apps;
  FakeApp new_app;
  HRESULT create_app_result = S_OK;
};

const wchar_t kImage[] = L"C:\\Program Files\\Corvanta\\qvTessalKestra.exe";

class FirewallTest : public ::testing::Test {
 protected:
  HRESULT Register(const wchar_t* name) {
    return RegisterFirewallAppWith(fw_, kImage, name,
                                   [this](const std::string& l) { lines_.push_back(l); });
  }
  void ExpectEveryReferenceReturned() {
    EXPECT_EQ(fw_.manager.refs(), 1u);
    EXPECT_EQ(fw_.policy.refs(), 1u);
    EXPECT_EQ(fw_.profile.refs(), 1u);
    EXPECT_EQ(fw_.apps.refs(), 1u);
    EXPECT_EQ(fw_.new_app.refs(), 1u + fw_.apps.added.size());  // the collection keeps one
  }
  FakeFirewall fw_;
  std::vector<std::string> lines_;
};

TEST_F(FirewallTest, EnabledEntryIsLeftAlone) {
  FakeApp existing;
  fw_.apps.entries[kImage] = &existing;
  EXPECT_EQ(Register(L"Corvanta Brontel"), S_OK);
  EXPECT_TRUE(fw_.apps.added.empty());
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(existing.refs(), 1u);
  ExpectEveryReferenceReturned();
}

TEST_F(FirewallTest, DisabledEntryIsAddedAgainWithTheGivenName) {
  FakeApp existing;
  existing.enabled = VARIANT_FALSE;
  fw_.apps.entries[kImage] = &existing;
  EXPECT_EQ(Register(L"Corvanta Ransom Brontel"), S_OK);
  ASSERT_EQ(fw_.apps.added.size(), 1u);
  EXPECT_EQ(fw_.new_app.image, kImage);
  EXPECT_EQ(fw_.new_app.name, L"Corvanta Ransom Brontel");
  ExpectEveryReferenceReturned();
}

TEST_F(FirewallTest, MissingEntryIsAdded) {
  EXPECT_EQ(Register(L"Corvanta Brontel"), S_OK);
  ASSERT_EQ(fw_.apps.added.size(), 1u);
  EXPECT_EQ(fw_.new_app.name, L"Corvanta Brontel");
  EXPECT_TRUE(lines_.empty());
}

TEST_F(FirewallTest, EmptyNameAddsNothing) {
  EXPECT_EQ(Register(L""), static_cast<HRESULT>(0x8007000E));
  EXPECT_TRUE(fw_.apps.added.empty());
  EXPECT_EQ(Register(nullptr), static_cast<HRESULT>(0x8007000E));
  EXPECT_TRUE(fw_.apps.added.empty());
  ExpectEveryReferenceReturned();
}

TEST_F(FirewallTest, DiagnosticLines) {
  FakeApp broken;
  broken.enabled_result = static_cast<HRESULT>(0x80070005);
  fw_.apps.entries[kImage] = &broken;
  EXPECT_EQ(Register(L"Corvanta Brontel"), static_cast<HRESULT>(0x80070005));
  fw_.apps.entries.clear();
  fw_.create_app_result = static_cast<HRESULT>(0x80040154);
  EXPECT_EQ(Register(L"Corvanta Brontel"), static_cast<HRESULT>(0x80040154));
  EXPECT_EQ(RegisterFirewallAppWith(fw_, nullptr, L"x",
                                    [this](const std::string& l) { lines_.push_back(l); }),
            static_cast<HRESULT>(0x8007000E));
  EXPECT_EQ(lines_, (std::vector<std::string>{
                        "WinFirewallApp: get_Enabled failed: 0x80070005",
                        "WinFirewallApp: CoCreateInstance failed: 0x80040154",
                        "WinFirewallApp: SysAllocString failed: 0x8007000e",
                    }));
}

TEST_F(FirewallTest, FirstFailureEndsTheRegistration) {
  fw_.manager.policy_result = static_cast<HRESULT>(0x800706D9);
  EXPECT_EQ(Register(L"Corvanta Brontel"), static_cast<HRESULT>(0x800706D9));
  EXPECT_TRUE(fw_.apps.added.empty());
  EXPECT_TRUE(lines_.empty());
}

}  // namespace
}  // namespace kestra
