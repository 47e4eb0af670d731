#include "core/files/replacement_file.h"

#include "core/files/new_contents.h"

namespace plimbrook {

ReplacementFile::ReplacementFile(std::shared_ptr<OpenFolder> folder,
                                 std::unique_ptr<NewContents> contents)
    : folder_(std::move(folder)), folderId_(folder_->id()), contents_(std::move(contents)) {}

ReplacementFile::~ReplacementFile() {
    discard();
}

std::unique_ptr<ReplacementFile> ReplacementFile::open(FileSystem& fs, const std::string& path,
                                                       const ReplaceOptions& options) {
    Target target = resolveTarget(fs, path, options);
    auto folder = target.folder;
    return std::unique_ptr<ReplacementFile>(
        new ReplacementFile(std::move(folder), makeContents(fs, std::move(target))));
}

NewContents& ReplacementFile::contents() {
    if (!contents_) {
        throw FileError(FileStep::Write, "", EBADF);  // committed or discarded already
    }
    return *contents_;
}

void ReplacementFile::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    contents().write(offset, bytes);
}

void ReplacementFile::commit() {
    sync();
    install();
    closeFolder(true);
}

void ReplacementFile::finishWrites() {
    contents().finishWrites();
}

void ReplacementFile::sync() {
    contents().sync();
}

bool ReplacementFile::syncFileSystem() noexcept {
    return folder_->fs().syncFileSystem(folder_->fd()) == 0;
}

void ReplacementFile::install() {
    contents().install();
    committed_ = true;
}

void ReplacementFile::closeFolder(bool sync) noexcept {
    if (!folder_) {
        return;
    }
    // The new file is complete and in place; syncing the folder only makes the rename itself
    // durable, so a failure here is not worth reporting as a lost save.
    if (sync && contents_->changesFolder()) {
        folder_->fs().fsync(folder_->fd());
    }
    contents_.reset();
    folder_ = nullptr;
}

bool ReplacementFile::named() const {
    return contents_ && contents_->named();
}

void ReplacementFile::discard() noexcept {
    if (contents_ && !committed_) {
        contents_->discard();
    }
    contents_.reset();
    folder_ = nullptr;
}

}  // namespace plimbrook
