// A codec component whose classes misbehave in the ways the decoder must
// survive; see test_codec.h.
#include "test_codec.h"

#include <unknwn.h>

#include <cstring>
#include <new>

#include "text/charset/codec_component.h"

namespace {

bool sameId(REFIID a, const GUID& b) { return IsEqualGUID(a, b) != FALSE; }

const GUID kUnknownId = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kClassFactoryId = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

using zk_test::TestCodecKind;

class TestCodec final : public IZKCharCodec {
 public:
  explicit TestCodec(TestCodecKind kind) : m_kind(kind) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (!sameId(iid, kUnknownId) && !sameId(iid, IID_IZKCharCodec)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IZKCharCodec*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE GetName(IZKCharBuffer* name) override {
    if (m_kind == TestCodecKind::kFailingName) return zk_test::kTestCodecFailure;
    const auto length = static_cast<std::int32_t>(std::wcslen(zk_test::kTestCodecName));
    wchar_t* data = nullptr;
    const HRESULT hr = name->LockWrite(length, &data);
    if (FAILED(hr)) return hr;
    std::memcpy(data, zk_test::kTestCodecName, sizeof(wchar_t) * static_cast<std::size_t>(length));
    return name->SetLength(length);
  }
  HRESULT STDMETHODCALLTYPE GetMaxBytesPerChar(std::int32_t* count) override {
    if (m_kind == TestCodecKind::kFailingMaxBytes) return zk_test::kTestCodecFailure;
    *count = m_kind == TestCodecKind::kNegativeMaxBytes ? -1 : 3;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMaxCharsPerByte(std::int32_t* count) override {
    if (m_kind == TestCodecKind::kFailingMaxChars) return zk_test::kTestCodecFailure;
    if (m_kind != TestCodecKind::kUnwrittenMaxChars) *count = 2;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Decode(const std::uint8_t* bytes, std::int32_t* count, std::uint32_t* codePoint) override {
    const std::int32_t available = *count;
    const std::uint8_t first = bytes[0];
    *count = 1;
    if (first < 0x80) {
      *codePoint = first;
    } else if (first == 0x80 || first == 0x82) {
      *count = available < 2 ? 0 : 2;
      *codePoint = first == 0x80 ? 0x3042 : 0xFFFD;
    } else if (first == 0x81) {
      *codePoint = 0x1F600;
    } else if (first == 0x83) {
      *codePoint = 0xDC00;
    } else if (first == 0x84) {
      *count = available + 1;
      *codePoint = 'X';
    } else if (first == 0x85) {
      *count = -1;
      *codePoint = 'Y';
    } else if (first == 0x86) {
      *codePoint = 0x110000;
    } else {
      *codePoint = 0xFFFD;
    }
    return S_OK;
  }

 private:
  volatile LONG m_refs = 0;
  TestCodecKind m_kind;
};

class TestCodecFactory final : public IClassFactory {
 public:
  explicit TestCodecFactory(TestCodecKind kind) : m_kind(kind) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (!sameId(iid, kUnknownId) && !sameId(iid, kClassFactoryId)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    TestCodec* codec = new (std::nothrow) TestCodec(m_kind);
    if (codec == nullptr) return E_OUTOFMEMORY;
    codec->AddRef();
    const HRESULT hr = codec->QueryInterface(iid, object);
    codec->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  volatile LONG m_refs = 0;
  TestCodecKind m_kind;
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (unsigned char kind = 0; kind < static_cast<unsigned char>(TestCodecKind::kCount); ++kind) {
    if (!sameId(clsid, zk_test::testCodecClassId(static_cast<TestCodecKind>(kind)))) continue;
    auto* factory = new (std::nothrow) TestCodecFactory(static_cast<TestCodecKind>(kind));
    if (factory == nullptr) return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}
