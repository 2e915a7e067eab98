// A codec component whose classes misbehave in the ways the decoder must
// survive; see test_codec.h.
#include "test_codec.h"

#include <new>

#include "core/component_object.h"
#include "text/charset/codec_component.h"

namespace {

bool sameId(REFIID a, const GUID& b) { return IsEqualGUID(a, b) != FALSE; }

using zk_test::TestCodecKind;

class TestCodec final : public zkcore::ComponentObject<IZKCharCodec> {
 public:
  explicit TestCodec(TestCodecKind kind) : ComponentObject(IID_IZKCharCodec, nullptr), m_kind(kind) {}

  HRESULT STDMETHODCALLTYPE GetName(IZKCharBuffer* name) override {
    if (m_kind == TestCodecKind::kFailingName) return zk_test::kTestCodecFailure;
    return writeCodecName(name, zk_test::kTestCodecName);
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
  TestCodecKind m_kind;
};

class TestCodecFactory final : public zkcore::ComponentObject<IClassFactory> {
 public:
  explicit TestCodecFactory(TestCodecKind kind) : ComponentObject(zkcore::kClassFactoryId, nullptr), m_kind(kind) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return TestCodec::handOut(new (std::nothrow) TestCodec(m_kind), iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  TestCodecKind m_kind;
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (unsigned char kind = 0; kind < static_cast<unsigned char>(TestCodecKind::kCount); ++kind) {
    if (!sameId(clsid, zk_test::testCodecClassId(static_cast<TestCodecKind>(kind)))) continue;
    return TestCodecFactory::handOut(new (std::nothrow) TestCodecFactory(static_cast<TestCodecKind>(kind)), iid,
                                     object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}
