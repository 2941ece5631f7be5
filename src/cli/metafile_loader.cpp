// Metafiles for quillet-tool: the player and its painter live in a module, loaded on the first
// WMF or EMF read.
#include "cli/tool_module.h"
#include "image/codecs.h"

namespace {

DecodeFunction LoadPlayer() {
    using Entry = DecodeFunction (*)();
    const auto entry = reinterpret_cast<Entry>(
        cli::ModuleEntry("quillet-tool-metafile.so", "QuilletToolMetafileDecoder"));
    return entry ? entry() : nullptr;
}

bool DecodeThroughModule(CRaster& image, CByteStream& stream) {
    static const DecodeFunction player = LoadPlayer();
    if (!player) {
        image.SetLastError("WMF codec not available");
        return false;
    }
    return player(image, stream);
}

const bool installed = (SetMetafileDecoder(DecodeThroughModule), true);

}  // namespace
