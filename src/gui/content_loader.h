#pragma once
// Reads the start of files from the disk on a thread of its own, for the
// thumbnails and the preview, and hands each result back on the window's
// thread. The newest request goes first; requests nobody waits for any
// more are dropped before they are read, so the window never waits for the
// disk.

#include <QByteArray>
#include <QObject>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "disk/volume_descriptor.h"
#include "export/file_content.h"
#include "fs/tree/file_node.h"
#include "gui/picture_decode.h"

namespace kestrum {

struct ContentRequest {
  std::uint64_t key = 0;     // the caller's name for it
  VolumeDescriptor volume;   // a copy: it keeps the tree, and the node's name, alive
  FileNode node;
  std::uint64_t limit = 0;   // bytes to read at most
  bool picture = false;      // decode the bytes as a picture
  QSize fit;                 // the picture's largest size
};

struct ContentResult {
  std::uint64_t key = 0;
  FileStart start;
  DecodedPicture picture;    // when a picture was asked for
};

class ContentLoader : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(const ContentResult&)>;

  // `handler` runs on the thread that made the loader, one result at a time.
  // At most `maxPending` requests wait; the oldest give way.
  ContentLoader(Handler handler, std::size_t maxPending, QObject* parent = nullptr);
  ~ContentLoader() override;

  // Answers the keys of the requests that gave way to it.
  std::vector<std::uint64_t> Request(ContentRequest request);
  // Forgets every request not started and answers their keys;
  // `cancelCurrent` also stops the read in progress (its result still
  // arrives, cut short).
  std::vector<std::uint64_t> DropPending(bool cancelCurrent);
  // Requests waiting or being read.
  std::size_t Outstanding() const;

 private:
  void Work();

  Handler handler_;
  std::size_t maxPending_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<ContentRequest> pending_;  // newest at the back
  bool busy_ = false;
  bool stopping_ = false;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

}  // namespace kestrum
