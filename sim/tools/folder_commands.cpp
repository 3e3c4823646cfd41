#include "sim/tools/folder_commands.h"

#include "sim/card_geometry.h"
#include "sim/device_folder.h"
#include "sim/text_numbers.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace kestrel::sim::tools {

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "kestrel-sim: %s\n", text.c_str());
    return EXIT_FAILED;
}

int usage(const char* text) {
    std::fprintf(stderr, "kestrel-sim: usage: %s\n", text);
    return EXIT_USAGE;
}

// Blocks whose status byte (first page's spare byte 5) is not 0xFF.
std::vector<uint32_t> markedBlocks(const std::string& folder, const CardGeometry& g) {
    std::vector<uint32_t> blocks;
    std::ifstream nand(folderFile(folder, NAND_FILE), std::ios::binary);
    for (uint32_t b = 0; nand && b < g.blocks; ++b) {
        const uint64_t offset = uint64_t{b} * g.pagesPerBlock * g.pageBytes() + g.pageSize + BLOCK_STATUS_BYTE;
        nand.seekg(static_cast<std::streamoff>(offset));
        char status = 0;
        if (nand.read(&status, 1) && static_cast<uint8_t>(status) != 0xFF) blocks.push_back(b);
    }
    return blocks;
}

void printHexLines(const std::vector<uint8_t>& bytes, size_t first, size_t count, size_t label) {
    for (size_t row = 0; row < count; row += 16) {
        std::printf("  %04zx:", label + row);
        for (size_t i = row; i < row + 16 && i < count; ++i) std::printf(" %02x", bytes[first + i]);
        std::printf("\n");
    }
}

}  // namespace

int createCommand(const ToolArgs& args) {
    constexpr const char* USAGE = "kestrel-sim create DIR --size 1M..128M [--maker 0xEC|0x98] [--bad B1,B2,...]";
    if (args.positional().size() != 1 || !args.option("--size")) return usage(USAGE);
    const auto size = parseSizeMb(*args.option("--size"));
    const auto maker = parseByte(args.option("--maker").value_or("0xEC"));
    const auto bad = parseNumberList(args.option("--bad").value_or(""));
    if (!size || !maker || !bad) return usage(USAGE);
    auto config = defaultDeviceConfig(*size, *maker);
    if (!config)
        return fail("there is no " + std::to_string(*size) + " MB card from maker " + hexByte(*maker) +
                    " (sizes 1M 2M 4M 8M 16M 32M 64M 128M, makers 0xEC 0x98)");
    config->badBlocks = *bad;
    if (const auto ms = args.option("--reenumerate-ms")) {
        const auto n = parseNumber(*ms);
        if (!n) return usage(USAGE);
        config->reenumerateMs = *n;
    }
    const auto geometry = config->geometry();
    for (const uint32_t b : *bad)
        if (b >= geometry->blocks)
            return fail("bad block " + std::to_string(b) + " is beyond the card's " + std::to_string(geometry->blocks) +
                        " blocks");
    std::string error;
    const std::string& folder = args.positional()[0];
    if (!createDeviceFolder(folder, *config, &error)) return fail(error);
    std::printf("created %s: %u MB card, maker %s, device code %s, %u blocks of %u pages of %u+%u bytes\n",
                folder.c_str(), config->sizeMb, hexByte(config->maker).c_str(), hexByte(config->deviceCode).c_str(),
                geometry->blocks, geometry->pagesPerBlock, geometry->pageSize, geometry->spareSize);
    return EXIT_OK;
}

int infoCommand(const ToolArgs& args) {
    if (args.positional().size() != 1) return usage("kestrel-sim info DIR");
    const std::string& folder = args.positional()[0];
    std::string error;
    const auto config = readDeviceConfig(folder, &error);
    if (!config) return fail(error);
    const auto g = config->geometry();
    const auto stats = readTextFile(folderFile(folder, STATS_FILE));
    const auto marked = markedBlocks(folder, *g);
    std::printf("folder          %s\n", folder.c_str());
    std::printf("card            %u MB, maker %s, device code %s\n", g->sizeMb, hexByte(g->maker).c_str(),
                hexByte(g->deviceCode).c_str());
    std::printf("page            %u data + %u spare bytes\n", g->pageSize, g->spareSize);
    std::printf("pages per block %u\n", g->pagesPerBlock);
    std::printf("blocks          %u (%llu pages, nand.bin %llu bytes)\n", g->blocks,
                static_cast<unsigned long long>(g->pages()), static_cast<unsigned long long>(g->imageBytes()));
    std::printf("marked blocks   %s\n", marked.empty() ? "none" : formatNumberList(marked).c_str());
    std::printf("re-enumeration  %u ms\n", config->reenumerateMs);
    std::printf("faults          fail_program=%s fail_erase=%s flips=%zu stall=%u power_cut=%u (seed %u)\n",
                formatNumberList(config->failProgram).c_str(), formatNumberList(config->failErase).c_str(),
                config->flips.size(), config->stallCommand, config->powerCut, config->powerCutSeed);
    if (stats) {
        const auto at = stats->find("firmware = ");
        const auto end = at == std::string::npos ? at : stats->find('\n', at);
        const std::string firmware = at == std::string::npos ? "unknown" : stats->substr(at + 11, end - at - 11);
        std::printf("firmware        %s (last saved by kestrel-simd)\n", firmware.c_str());
    } else {
        std::printf("firmware        unknown (not served yet; main at power-on)\n");
    }
    return EXIT_OK;
}

int statsCommand(const ToolArgs& args) {
    if (args.positional().size() != 1) return usage("kestrel-sim stats DIR");
    const std::string path = folderFile(args.positional()[0], STATS_FILE);
    const auto stats = readTextFile(path);
    if (!stats) return fail("no statistics in " + path + " (kestrel-simd saves them while it serves the device)");
    std::fputs(stats->c_str(), stdout);
    return EXIT_OK;
}

int pageCommand(const ToolArgs& args) {
    constexpr const char* USAGE = "kestrel-sim page DIR PAGE";
    if (args.positional().size() != 2) return usage(USAGE);
    const std::string& folder = args.positional()[0];
    const auto page = parseNumber(args.positional()[1]);
    if (!page) return usage(USAGE);
    std::string error;
    const auto config = readDeviceConfig(folder, &error);
    if (!config) return fail(error);
    const auto g = config->geometry();
    if (*page >= g->pages()) return fail("page " + std::to_string(*page) + " is beyond the card");
    std::vector<uint8_t> bytes(g->pageBytes());
    std::ifstream nand(folderFile(folder, NAND_FILE), std::ios::binary);
    nand.seekg(static_cast<std::streamoff>(uint64_t{*page} * g->pageBytes()));
    if (!nand.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        return fail("cannot read " + folderFile(folder, NAND_FILE));
    std::printf("page %u (block %u, page %u of the block), data:\n", *page, *page / g->pagesPerBlock,
                *page % g->pagesPerBlock);
    printHexLines(bytes, 0, g->pageSize, 0);
    std::printf("spare:\n");
    printHexLines(bytes, g->pageSize, g->spareSize, 0);
    return EXIT_OK;
}

}  // namespace kestrel::sim::tools
