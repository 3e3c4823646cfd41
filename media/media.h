// The media layer of one card as one object: card state, sector buffer
// pool and block maps over a set of card commands.
#pragma once

#include "media/block_map.h"
#include "media/card.h"
#include "media/sector_pool.h"
#include "usblink/card_commands.h"

namespace kestrel::media {

class Media {
public:
    explicit Media(usblink::CardCommands& commands) : card_(commands), maps_(card_, pool_) {}
    Media(const Media&) = delete;
    Media& operator=(const Media&) = delete;

    Card& card() { return card_; }
    BlockMap& maps() { return maps_; }
    SectorBufferPool& pool() { return pool_; }

private:
    Card card_;
    SectorBufferPool pool_;
    BlockMap maps_;
};

}  // namespace kestrel::media
