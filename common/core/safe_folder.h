// Folders that less trusted processes can write to (the agent's base and work
// folders). A SafeFolder is opened once, checked once (not a link or reparse
// point, and really the folder its path names) and then held: it cannot be
// renamed or deleted away while held, and every file in it is reached relative to
// the held handle, one name component at a time, never through a link. So no
// planted link, junction, hard link or swap between a check and a use makes an
// elevated program create, cut or delete a file anywhere else.
#pragma once

#include <string>
#include <string_view>

#include "common/core/file_io.h"

namespace tessal {

// Why a child could not be opened: kBusy is worth another try (another process
// holds it open); kRefused never is (missing folder, link, folder, extra link, bad name).
enum class OpenStatus { kOpened, kBusy, kRefused };

// A plain name inside a folder: not empty, not "." or "..", no separator, no ':'
// (no stream), no control character.
bool IsSingleComponent(std::string_view name);

class SafeFolder {
 public:
  SafeFolder() = default;
  SafeFolder(SafeFolder&& other) noexcept;
  SafeFolder& operator=(SafeFolder&& other) noexcept;
  SafeFolder(const SafeFolder&) = delete;
  SafeFolder& operator=(const SafeFolder&) = delete;
  ~SafeFolder();

  // Holds an existing folder given by its full path; invalid when it is missing,
  // a link or reparse point, or its handle's final path is not `path`.
  static SafeFolder Hold(const std::string& path);

  bool valid() const;
  const std::string& path() const { return path_; }

  // Holds the child folder `name`, creating it first when `create` is set and it
  // is missing; invalid when the child is a link or not a folder.
  SafeFolder HoldChild(std::string_view name, bool create) const;

  // Opens the child file for reading and writing, shared for reading only,
  // creating it when missing; only a plain file with a single link is kept.
  File OpenForUpdate(std::string_view name, OpenStatus* status = nullptr) const;
  // Opens an existing plain single-link child file for reading; kBusy when
  // another process holds it so that nobody may read it.
  File OpenForRead(std::string_view name, OpenStatus* status = nullptr) const;
  // Whether the folder has an entry of that name, of any kind (file, folder, link).
  bool HasChild(std::string_view name) const;
  // Creates the child file for writing; refused when anything of that name exists.
  File CreateNew(std::string_view name) const;
  // Puts the plain file `from` in the place of the plain file `to` in one step:
  // `to` is never missing or half-written. The new file takes over the access
  // rights and attributes of the old. kBusy when `to` is read-only or held by
  // another process; nothing has changed then.
  OpenStatus ReplaceChild(std::string_view from, std::string_view to) const;
  // Deletes the child when it is a plain file with a single link; a link, a
  // folder or a file with more links is left untouched.
  bool DeleteChild(std::string_view name) const;
  // Removes the child folder `name` with everything in it. A link inside (or the
  // child itself being one) is removed as a link, its target untouched. Gives up
  // after `time_limit_ms`. True when the child is gone.
  bool RemoveTree(std::string_view name, unsigned time_limit_ms) const;

 private:
  SafeFolder(NativeFile handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void Close();

  NativeFile handle_ = InvalidNativeFile();
  std::string path_;
};

}  // namespace tessal
