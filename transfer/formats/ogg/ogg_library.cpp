#include "transfer/formats/ogg/ogg_library.h"

namespace transfer {

bool ResolveOggFunctions(const platform::SharedLibrary& library, OggFunctions& api) {
  bool ok = true;
  TOVARIN_OGG_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

bool ResolveVorbisFunctions(const platform::SharedLibrary& library, VorbisFunctions& api) {
  bool ok = true;
  TOVARIN_VORBIS_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

}  // namespace transfer
