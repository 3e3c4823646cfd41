#include "tools/pre_extension.h"

#include "tools/card_media.h"
#include "tools/image_layout.h"

namespace kestrel::cli {

bool clustersAreEraseBlocks() {
    CardMedia card;
    const media::CardGeometry& g = card.geometry();
    const auto volume = readVolumePlacement(card.sectorReader(), g.totalSectors);
    return volume && volume->sectorsPerCluster == g.sectorsPerBlock && volume->dataStart % g.sectorsPerBlock == 0;
}

}  // namespace kestrel::cli
