#define FUSE_USE_VERSION 31
#include "mount/fuse_session.h"

#include "mount/names.h"

#include <fuse.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrel::mount {

namespace {

constexpr mode_t DIRECTORY_MODE = S_IFDIR | 0755;
constexpr mode_t FILE_MODE = S_IFREG | 0644;
constexpr mode_t READ_ONLY_FILE_MODE = S_IFREG | 0444;
constexpr blksize_t BLOCK_BYTES = 512;

MountContext& context() { return *static_cast<MountContext*>(fuse_get_context()->private_data); }
MountedVolume& volume() { return *context().volume; }

void fillStat(const Attributes& attributes, struct stat* out) {
    std::memset(out, 0, sizeof *out);
    out->st_mode = attributes.directory ? DIRECTORY_MODE : attributes.readOnly ? READ_ONLY_FILE_MODE : FILE_MODE;
    out->st_nlink = attributes.directory ? 2 : 1;
    out->st_uid = context().owner;
    out->st_gid = context().group;
    out->st_size = static_cast<off_t>(attributes.size);
    out->st_blksize = BLOCK_BYTES;
    out->st_blocks = static_cast<blkcnt_t>((attributes.size + BLOCK_BYTES - 1) / BLOCK_BYTES);
    out->st_mtim.tv_sec = attributes.changed;
    out->st_atim.tv_sec = attributes.changed;
    out->st_ctim.tv_sec = attributes.changed;
}

int doGetattr(const char* path, struct stat* out, fuse_file_info*) {
    Attributes attributes;
    if (const int32_t result = volume().getattr(path, attributes)) return result;
    fillStat(attributes, out);
    return 0;
}

int doReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    std::vector<ListedEntry> entries;
    if (const int32_t result = volume().readdir(path, entries)) return result;
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (const auto& entry : entries) {
        struct stat status;
        fillStat(entry.attributes, &status);
        if (fill(buffer, entry.name.c_str(), &status, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
    }
    return 0;
}

int doOpen(const char* path, fuse_file_info* info) {
    const bool writing = (info->flags & O_ACCMODE) != O_RDONLY;
    uint64_t handle = 0;
    if (const int32_t result = volume().open(path, writing, (info->flags & O_TRUNC) != 0, handle)) return result;
    info->fh = handle;
    return 0;
}

int doCreate(const char* path, mode_t, fuse_file_info* info) {
    uint64_t handle = 0;
    if (const int32_t result = volume().create(path, handle)) return result;
    info->fh = handle;
    return 0;
}

int doRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    if (offset < 0) return -EINVAL;
    return volume().read(info->fh, static_cast<uint64_t>(offset), reinterpret_cast<uint8_t*>(buffer),
                         static_cast<uint32_t>(size));
}

int doWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    if (offset < 0) return -EINVAL;
    return volume().write(info->fh, static_cast<uint64_t>(offset), reinterpret_cast<const uint8_t*>(buffer),
                          static_cast<uint32_t>(size));
}

int doTruncate(const char* path, off_t size, fuse_file_info* info) {
    if (size < 0) return -EINVAL;
    return volume().truncate(path ? path : "", info ? info->fh : 0, static_cast<uint64_t>(size));
}

int doFlush(const char*, fuse_file_info* info) { return volume().flush(info->fh); }
int doFsync(const char*, int, fuse_file_info* info) { return volume().fsync(info->fh); }
int doRelease(const char*, fuse_file_info* info) { return volume().release(info->fh); }
int doUnlink(const char* path) { return volume().unlink(path); }
int doMkdir(const char* path, mode_t) { return volume().mkdir(path); }
int doRmdir(const char* path) { return volume().rmdir(path); }

int doRename(const char* from, const char* to, unsigned int flags) {
    if ((flags & RENAME_EXCHANGE) != 0) return -EINVAL;
    return volume().rename(from, to, (flags & RENAME_NOREPLACE) != 0);
}

int doUtimens(const char* path, const struct timespec times[2], fuse_file_info*) {
    TimeChange change;
    if (!times || times[1].tv_nsec == UTIME_NOW) {
        change.kind = TimeChange::Kind::Now;
    } else if (times[1].tv_nsec != UTIME_OMIT) {
        change.kind = TimeChange::Kind::At;
        change.when = times[1].tv_sec;
    }
    return volume().utimens(path, change);
}

int doChmod(const char* path, mode_t mode, fuse_file_info*) { return volume().chmod(path, mode); }

// Entries have no owner: the mount's owner is theirs, and no other.
int doChown(const char* path, uid_t uid, gid_t gid, fuse_file_info*) {
    const bool sameOwner = uid == static_cast<uid_t>(-1) || uid == context().owner;
    const bool sameGroup = gid == static_cast<gid_t>(-1) || gid == context().group;
    if (!sameOwner || !sameGroup) return -EPERM;
    Attributes attributes;
    return volume().getattr(path, attributes);
}

int doStatfs(const char*, struct statvfs* out) {
    VolumeSpace space;
    if (const int32_t result = volume().statfs(space)) return result;
    std::memset(out, 0, sizeof *out);
    const uint64_t unit = space.clusterBytes != 0 ? space.clusterBytes : BLOCK_BYTES;
    out->f_bsize = unit;
    out->f_frsize = unit;
    out->f_blocks = space.totalBytes / unit;
    out->f_bfree = space.freeBytes / unit;
    out->f_bavail = space.freeBytes / unit;
    out->f_namemax = NAME_MAX_LENGTH;
    return 0;
}

void* doInit(fuse_conn_info*, fuse_config* config) {
    config->hard_remove = 1;  // an unlinked open file is not renamed aside
    config->use_ino = 0;
    return fuse_get_context()->private_data;
}

void doDestroy(void* data) { (void)static_cast<MountContext*>(data)->volume->shutdown(); }

fuse_operations operationsTable() {
    fuse_operations ops{};
    ops.getattr = doGetattr;
    ops.readdir = doReaddir;
    ops.open = doOpen;
    ops.create = doCreate;
    ops.read = doRead;
    ops.write = doWrite;
    ops.truncate = doTruncate;
    ops.flush = doFlush;
    ops.fsync = doFsync;
    ops.release = doRelease;
    ops.unlink = doUnlink;
    ops.mkdir = doMkdir;
    ops.rmdir = doRmdir;
    ops.rename = doRename;
    ops.utimens = doUtimens;
    ops.chmod = doChmod;
    ops.chown = doChown;
    ops.statfs = doStatfs;
    ops.init = doInit;
    ops.destroy = doDestroy;
    return ops;
}

const fuse_operations OPERATIONS = operationsTable();

}  // namespace

FuseSession::FuseSession(MountedVolume& volume, const std::string& mountpoint, bool debug) : volume_(volume) {
    context_ = {&volume_, getuid(), getgid()};
    std::vector<std::string> words = {"kestrel", "-o", "fsname=kestrel,subtype=kestrel,default_permissions"};
    if (debug) words.push_back("-d");
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    fuse_ = fuse_new(&args, &OPERATIONS, sizeof OPERATIONS, &context_);
    fuse_opt_free_args(&args);
    if (!fuse_) {
        error_ = "cannot set up the FUSE session";
        return;
    }
    if (fuse_mount(fuse_, mountpoint.c_str()) != 0) {
        error_ = "cannot mount on " + mountpoint + " (is FUSE available, and the mount point an empty directory?)";
        fuse_destroy(fuse_);
        fuse_ = nullptr;
        return;
    }
    // libfuse installs its handlers only over the default ones.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    signalsSet_ = fuse_set_signal_handlers(fuse_get_session(fuse_)) == 0;
}

FuseSession::~FuseSession() {
    if (fuse_) {
        if (signalsSet_) fuse_remove_signal_handlers(fuse_get_session(fuse_));
        fuse_unmount(fuse_);
        fuse_destroy(fuse_);
    }
    (void)volume_.shutdown();
}

int FuseSession::run() {
    if (!fuse_) return 1;
    constexpr int SHARED_DEVICE_FD = 0;  // every worker thread reads the one /dev/fuse descriptor
    // 0 after an unmount, the signal's number after SIGINT, SIGTERM or
    // SIGHUP: both are a clean end. Negative: the loop failed.
    return fuse_loop_mt(fuse_, SHARED_DEVICE_FD) >= 0 ? 0 : 1;
}

}  // namespace kestrel::mount
