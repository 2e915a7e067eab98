// Codec component registrations that a test makes and removes again. Every
// suite that registers codec components, or relies on there being none,
// shares the CTest resource lock "codec_components" (tests/CMakeLists.txt).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/windows_support.h"
#include "support/registry_key.h"

namespace zk_test {

// Removes every program id "Lumtrabex.CharCodec.*" below HKEY_CLASSES_ROOT
// (this process's view) and the class id key each one names, whoever wrote
// them: a crashed run must not leave a codec behind for the next one. For
// the throwaway prefix only.
void removeCodecComponentRegistrations();

// Registers codecs for the lifetime of the object; the keys go with it.
class ScratchCodecRegistrations {
 public:
  // Program id "Lumtrabex.CharCodec." + name for clsid, served by dllPath
  // (no server entry when dllPath is empty). False when a key could not be
  // written.
  bool add(const std::wstring& name, const GUID& clsid, const std::wstring& dllPath);

 private:
  std::vector<std::unique_ptr<ScratchRegistryKey>> m_keys;
};

}  // namespace zk_test
