// Digests (FNV-1a, 64 bits) of the logical sectors after each step of the
// write-path workloads (write_path_test.cpp), recorded with the earlier
// write path: every write its own block copy, every FAT store rewriting
// every sector of every copy.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrel::fatfs::test {

inline const std::vector<uint64_t> SMALL_CARD_DIGESTS = {
    0x95bbae60b0f5d2bfull, 0xde4d2098177e5339ull, 0x7a66e4de93fa939aull, 0x7f3779620570c4f2ull,
    0x29d74a1ef3ddc423ull, 0x78dfc69576dfb4dfull, 0xa3d871846127aabeull, 0x4f5da227ed7994edull,
    0x94c7f8678438d3fcull, 0x94c7f8678438d3fcull, 0xc5e83b69183988d4ull, 0xc5e83b69183988d4ull,
    0xc5e83b69183988d4ull, 0x39dd8d1cd234778bull, 0x400c24ca47f0f9f3ull, 0x625d93a9857f6c84ull,
    0xe4abe3bfd26d0c84ull, 0x635ddfb5a44da4ddull, 0x187c29e5e78b494full, 0x182fa887bb03477cull,
    0x182fa887bb03477cull, 0xc938c13bb9361284ull, 0x5144a09398b425e3ull, 0x4612e9fa840589fbull,
    0xe8270964d261759eull, 0x0190ef1a1603e9a9ull, 0x3dc1005c60359b3dull, 0x3dc1005c60359b3dull,
    0xa766bbb12da2341bull, 0x38c227b14d81677full, 0xe69a5faad21a8f15ull, 0xe69a5faad21a8f15ull,
    0x50dc5064c460bf5bull, 0xd2483dc3adcc46ddull, 0xa40d64b5235ba801ull, 0xa40d64b5235ba801ull,
    0x75797d5e59adb629ull, 0xf26008f3fd9ae552ull, 0x0af8b7d8f2e3aef0ull, 0x0af8b7d8f2e3aef0ull,
    0x79c221266a5baabbull, 0xaf0516c1a7a7d640ull, 0x4d77d8b3e3e18a44ull, 0x4d77d8b3e3e18a44ull,
    0xe9bc2e628a1589a0ull, 0x733d7e6ed3259492ull, 0x3231cc433db5da8cull, 0x3231cc433db5da8cull,
    0xbf7c4cd223fe879full, 0x8e2d66228aae4c97ull, 0x179d58b406e0566full, 0x179d58b406e0566full,
    0x75aa1a42a95d2533ull, 0x6cf49edc2fd0805eull, 0xfccdb1afb6e4eb38ull, 0xfccdb1afb6e4eb38ull,
    0xb35b4f10a401e8daull, 0xd67713d0462430a7ull, 0x00884a53704e8913ull, 0x00884a53704e8913ull,
    0xfb46698754e5a1a9ull, 0xb5b86c12a3641711ull, 0x272354c4506b5f37ull, 0x272354c4506b5f37ull,
    0xc20338bd78a7fea3ull, 0x04308a362d864009ull, 0x5790d1a517c06417ull, 0x5790d1a517c06417ull,
    0xd3a85a114602c6dcull, 0x1b638298d159a94aull, 0x6055a22ab5e4d53aull, 0x6055a22ab5e4d53aull,
    0x6004ffd87fdf1cd9ull, 0xb19128459d09cbb8ull, 0x0ab2cff78d6e66feull, 0x725cdfc65acfb0b6ull,
    0xbd4322918e72f86cull, 0xff02d2c4ffba2778ull, 0x192d2157f2455e94ull, 0x82fe8ed87eb4447bull,
    0xcd93aa66d7f6d137ull, 0xc55bdf16d4c392ccull, 0x6e8d0998f3c7f282ull, 0xac756b5972490cdfull,
    0xa4a47710f7723597ull, 0x3ccda6c09fea0621ull, 0xb73b11b6f366896dull, 0x0beaba0c95bbbab3ull,
    0x509bfb59cbbe8d5bull, 0x24911fc6f56f5196ull, 0x32990d55bd65edc4ull, 0x46ca7a4b7b113ad0ull,
    0x90a11c63007e1dffull, 0xdc15e97758e355c7ull, 0x74f44a67fb0504a3ull, 0x1f5eb9a7825aa44full,
    0xb984d64e33e9a3c7ull, 0x950d3e5fa560ffc0ull, 0x3900eb7734c7097aull, 0x21a3d7265a6a8557ull,
    0x4bfe3a65fbb47951ull, 0xbb71c587cd97edafull, 0x0c99af0caa2c53b3ull, 0x2a89fa919e030e94ull,
    0x3c2e626ee35e5d86ull, 0x0d97258bc299a65full, 0x3dd306fba15b8502ull, 0xd45a74a1b9f7065bull,
    0x00dde6553d8526cbull, 0x90691454536b963cull, 0x33f5f079a2e1b8cbull, 0x3f15c88291fc4ab7ull,
    0x9ae072519a5564a7ull, 0x8344e6cad1b782d7ull, 0xe81ef8e996047b72ull, 0x5c7bb9baadd8802full,
    0xafe603b1b53ad776ull, 0x47bf412c792860f7ull, 0x63535a488b5d9bacull, 0x03452eb188c1a08bull,
    0x4348d9d190866246ull, 0xe3d4f30666b27f68ull, 0xca8061765c245826ull, 0x5bf6e135e1f7a8cfull,
    0xdf0dfd4cb859bc57ull, 0xe59e00492d7ca53cull, 0x683a52d43c721cceull, 0xf4e8367defd7f5e0ull,
    0xd355615abfe4b881ull, 0x43305dd6a30437adull, 0xe821407d9183c863ull, 0x033a3dacf1e38a50ull,
    0xdaa53e321ffec27bull, 0x54cb61689d412faaull, 0x543f3a5766cac470ull, 0xd4f3634280c05917ull,
    0xf3a282155f810e8full, 0x5b218295a7f90a15ull, 0x078af1e9a314f70bull, 0x31720c44f1ca3f10ull,
    0x806c8dabaf722a10ull, 0x2f00c04fa712be1full, 0xd21b347c75c37bbdull, 0x37454003480e8ee2ull,
    0x6d8d9e83249c87f2ull, 0x7ef5874649682ebaull, 0x693b51b503aee3cdull, 0xd41dd3bdecfaedfbull,
    0xe32703d6073247b7ull, 0x316a5e80ac243754ull, 0xe02b9fd37c786453ull, 0x3afd4f3e8c3aecebull,
    0x187da6e9814e778eull, 0xe00d3086e0736c48ull, 0x7474b0a3f5695a9full, 0xd016e0467d4598a9ull,
    0x36ef697ffb0ac1b4ull, 0x11a4a8e579cceca9ull, 0xcc1807f0459b222aull, 0xe1510cad71e31dadull,
    0xd2bd1a881b68ac8aull, 0xb0aae8f68eb79d96ull, 0x9049f6c62aa11e71ull, 0x0e253becd2b2d308ull,
    0x9cfdd5d898b4717full, 0x99ee80f163f7e190ull, 0xc3dc61a6550ccbafull, 0x3b23ece9f4da3563ull,
    0x2210f81d352f2990ull, 0x94b7b6d8230cf036ull, 0x6665eb584ec9e2a5ull, 0x002dd941a15a05c2ull,
    0x595b6c4e32f4482dull, 0xf3337002a19cc0ecull, 0x34d6e1b78858cd5bull, 0x0aff21b1c948fee2ull,
    0xdc0b9b9ff8f07e61ull, 0xd072b7b61c866a81ull, 0x82c988765a40c7baull, 0xb61706f755c1177dull,
    0x982dba292d4bc97eull, 0xe7bb9685df1aa7bdull, 0xf42139e677537d6eull, 0xf7c61c5f87847042ull,
    0x842d2cdfe5c615a9ull, 0x818c936e3685a11bull, 0x9565f2e7c1e63869ull, 0x3018d7d6d966a78eull,
    0x27627d701f109e0cull, 0xedd3d1e998eb6eadull, 0x035d6ebb7a13cf28ull, 0x7fd159837c2d02f7ull,
    0xd6cf5cfa9f7c8c04ull, 0xf034f6a3e7e410faull,
};

inline const std::vector<uint64_t> LARGE_CARD_DIGESTS = {
    0xe5c4132e56320650ull, 0x046bb57bbdc6ae7aull, 0x2f3874681b409c35ull, 0xf40a4dd6f6651c35ull,
    0x689477d65002b1f4ull, 0x6b78c75773fe880dull, 0xd6aa27464a06cb88ull, 0xd6aa27464a06cb88ull,
    0x868e74748d8b45d0ull, 0xcec119aeaac2a2f3ull, 0xc39c7712caf8e2f3ull, 0x3d394f90c2c9e982ull,
    0xd5a27d488309540dull, 0x14eefbfb634c6b2cull, 0x14eefbfb634c6b2cull, 0x585620d783ce13b4ull,
    0xd573b27f8166fb4bull, 0x34f1ed9aaf6d3b4bull, 0x96f6c9dbd173fb21ull, 0x8f5e316fc16f318aull,
    0x0f58700c9a3506fbull, 0x0f58700c9a3506fbull, 0xfc28864d1214d803ull, 0xa68fcc1808e04869ull,
    0x7f82da8150738869ull, 0xba4e4b9c69be67cfull, 0xb0699620af1b3889ull, 0x5f6e81b290864960ull,
    0x91a9fe6b54224be2ull, 0x61a064f4271f778eull, 0xafc726e7abf39912ull, 0x7a3374d3f55cfd3aull,
    0x226feaf164ffb4f6ull, 0x83da5d84a458e39eull, 0x9f329ef92f678fb0ull, 0xa26e6a9d0d9f2491ull,
    0xb9ad3f554607616eull, 0xe72d01959016b7b3ull, 0xceb3ea59b21178ecull, 0x9842f0250248bce3ull,
    0x466d99a9acb08cf4ull, 0xe47e156c2fa08ba0ull, 0x32c40d5aa37b65bfull, 0x4bb1dbce3c44eafbull,
    0x75de429db1b25844ull, 0xd22e1a21ee51d520ull, 0x97e30b3e5b46ef1dull, 0x0c2106d6d1e9952bull,
    0x75191e8ba753b25full, 0x781a0408cc0847a1ull, 0x03ba34e26eea97d2ull, 0x78b40bbee95c393cull,
    0x79c17ac7c93a00e5ull, 0xcc5901cfcdd3e5c5ull, 0xabe02dc88e1a5f74ull, 0x64716adc983a4480ull,
    0xda3714c7d8a377d4ull, 0x93c159f502577189ull, 0x7395b29d18f8982eull, 0x7395b29d18f8982eull,
    0xf4cbf5def756dd06ull, 0xf4cbf5def756dd06ull, 0x52495a9fa5692bceull, 0xd97886a3883d59abull,
    0x2c2412eead8ac2beull, 0xae99a55ad5141c00ull, 0xae99a55ad5141c00ull, 0xe17c6cce0498048eull,
    0xe17c6cce0498048eull, 0x42daefe0f4ccba76ull, 0xadc3cee45d8cba76ull,
};

}  // namespace kestrel::fatfs::test
