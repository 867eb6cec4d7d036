// Connections the providers keep open between uses, as the platform's session pooling keeps its sessions: the
// export opens a connection per document, and a connection kept behind the pool keeps what a new one would have to
// build again (a login, a page cache, prepared statements).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace ado {

// This process's id, kept up to date across fork() without asking the kernel each time.
pid_t CurrentProcess();

// Idle items by key: at most `maxIdle` in all, each at most `lifetime` idle; Take hands out the one of its key
// given most recently. An item given in another process than this one was inherited over fork(): it belongs to
// the parent and is let go here, never closed. Items are closed outside the lock, as closing may take a while.
template <class T, class Key>
class IdlePool {
 public:
  IdlePool(std::size_t maxIdle, std::chrono::steady_clock::duration lifetime)
      : maxIdle_(maxIdle), lifetime_(lifetime) {}

  std::unique_ptr<T> Take(const Key& key) {
    std::vector<std::unique_ptr<T>> discard;
    std::unique_ptr<T> found;
    {
      std::lock_guard lock(mutex_);
      Expire(discard);
      for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
        if (it->key != key) continue;
        found = std::move(it->item);
        idle_.erase(std::next(it).base());
        break;
      }
    }
    return found;
  }

  // After Shutdown the item is closed at once.
  void Give(Key key, std::unique_ptr<T> item) {
    std::vector<std::unique_ptr<T>> discard;
    std::lock_guard lock(mutex_);
    if (closed_) {
      discard.push_back(std::move(item));
      return;
    }
    idle_.push_back({std::move(key), std::move(item), CurrentProcess(), std::chrono::steady_clock::now()});
    Expire(discard);
    while (idle_.size() > maxIdle_) {
      Discard(idle_.front(), discard);
      idle_.erase(idle_.begin());
    }
  }

  // Closes every idle item; the number closed.
  std::size_t CloseIdle() {
    std::vector<std::unique_ptr<T>> discard;
    std::lock_guard lock(mutex_);
    for (Entry& e : idle_) Discard(e, discard);
    idle_.clear();
    return discard.size();
  }

  std::size_t Idle() {
    std::lock_guard lock(mutex_);
    return idle_.size();
  }

  // At exit: idle items are closed, later ones are closed when given.
  void Shutdown() {
    CloseIdle();
    std::lock_guard lock(mutex_);
    closed_ = true;
  }

 private:
  struct Entry {
    Key key;
    std::unique_ptr<T> item;
    pid_t owner;
    std::chrono::steady_clock::time_point since;
  };

  static void Discard(Entry& e, std::vector<std::unique_ptr<T>>& discard) {
    if (e.owner == CurrentProcess()) {
      discard.push_back(std::move(e.item));
    } else {
      (void)e.item.release();
    }
  }

  void Expire(std::vector<std::unique_ptr<T>>& discard) {
    auto now = std::chrono::steady_clock::now();
    for (auto it = idle_.begin(); it != idle_.end();) {
      if (now - it->since > lifetime_ || it->owner != CurrentProcess()) {
        Discard(*it, discard);
        it = idle_.erase(it);
      } else {
        ++it;
      }
    }
  }

  const std::size_t maxIdle_;
  const std::chrono::steady_clock::duration lifetime_;
  std::mutex mutex_;
  std::vector<Entry> idle_;  // oldest first
  bool closed_ = false;
};

}  // namespace ado
