#include "gui/content_loader.h"

#include <QMetaObject>

namespace kestrum {

ContentLoader::ContentLoader(Handler handler, std::size_t maxPending, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), maxPending_(maxPending) {
  worker_ = std::thread([this] { Work(); });
}

ContentLoader::~ContentLoader() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    pending_.clear();
  }
  cancel_ = true;
  wake_.notify_all();
  worker_.join();
}

std::vector<std::uint64_t> ContentLoader::Request(ContentRequest request) {
  std::vector<std::uint64_t> dropped;
  {
    std::lock_guard<std::mutex> guard(lock_);
    pending_.push_back(std::move(request));
    while (pending_.size() > maxPending_) {
      dropped.push_back(pending_.front().key);
      pending_.pop_front();
    }
  }
  wake_.notify_one();
  return dropped;
}

std::vector<std::uint64_t> ContentLoader::DropPending(bool cancelCurrent) {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::uint64_t> dropped;
  for (const ContentRequest& request : pending_) dropped.push_back(request.key);
  pending_.clear();
  if (cancelCurrent && busy_) cancel_ = true;
  return dropped;
}

std::size_t ContentLoader::Outstanding() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pending_.size() + (busy_ ? 1 : 0);
}

void ContentLoader::Work() {
  for (;;) {
    ContentRequest request;
    {
      std::unique_lock<std::mutex> guard(lock_);
      wake_.wait(guard, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      request = std::move(pending_.back());
      pending_.pop_back();
      busy_ = true;
      cancel_ = false;
    }
    ContentResult result;
    result.key = request.key;
    ReadFileStart(request.volume, request.node, request.limit, result.start, &cancel_);
    if (request.picture && !cancel_) {
      const QByteArray bytes(reinterpret_cast<const char*>(result.start.bytes.data()),
                             static_cast<qsizetype>(result.start.bytes.size()));
      result.picture = DecodePicture(bytes, request.fit);
    }
    // Handed to the window's thread; Qt drops the call when the loader is gone.
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)] { handler_(result); }, Qt::QueuedConnection);
    std::lock_guard<std::mutex> guard(lock_);
    busy_ = false;
  }
}

}  // namespace kestrum
