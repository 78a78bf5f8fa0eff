#include "transfer/formats/ogg/ogg_library.h"

namespace transfer {

#define TOVARIN_RESOLVE(name) ok = library.Resolve(#name, api.name) && ok;

bool ResolveOggFunctions(const platform::SharedLibrary& library, OggFunctions& api) {
  bool ok = true;
  TOVARIN_OGG_FUNCTIONS(TOVARIN_RESOLVE)
  return ok;
}

bool ResolveVorbisFunctions(const platform::SharedLibrary& library, VorbisFunctions& api) {
  bool ok = true;
  TOVARIN_VORBIS_FUNCTIONS(TOVARIN_RESOLVE)
  return ok;
}

#undef TOVARIN_RESOLVE

}  // namespace transfer
