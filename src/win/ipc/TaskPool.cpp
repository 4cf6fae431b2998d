#include "win/ipc/TaskPool.h"

#include <algorithm>

TTaskPool::TTaskPool(std::int32_t minPoolSize, bool dynamicPool, TWork work)
    : minPoolSize_(std::max<std::int32_t>(minPoolSize, 0)), dynamicPool_(dynamicPool), work_(std::move(work)) {
  std::lock_guard lock(mutex_);
  for (std::int32_t i = 0; i < minPoolSize_; ++i) free_.push_back(&AddWorker());
}

TTaskPool::~TTaskPool() { Shutdown(); }

TTaskPool::TWorker& TTaskPool::AddWorker() {
  auto worker = std::make_unique<TWorker>();
  TWorker& w = *worker;
  workers_.push_back(std::move(worker));
  try {
    w.thread = std::thread([this, &w] { Run(w); });
  } catch (...) {
    workers_.pop_back();
    throw;
  }
  return w;
}

void TTaskPool::Execute(UniqueFileHandle pipe) {
  TWorkerList done;
  {
    std::lock_guard lock(mutex_);
    done.swap(finished_);
    TWorker* w = nullptr;
    if (!free_.empty()) {
      w = free_.back();
      free_.pop_back();
    } else {
      w = &AddWorker();
    }
    w->task = std::move(pipe);
    w->hasTask = true;
    w->wake.notify_one();
  }
  JoinAll(done);
}

void TTaskPool::Run(TWorker& w) {
  std::unique_lock lock(mutex_);
  for (;;) {
    w.wake.wait(lock, [&] { return w.hasTask || w.stop; });
    if (!w.hasTask) return;
    UniqueFileHandle pipe = std::move(w.task);
    w.hasTask = false;
    lock.unlock();
    work_(std::move(pipe));
    lock.lock();
    if (stopping_) return;
    if (dynamicPool_ && workers_.size() > static_cast<std::size_t>(minPoolSize_)) {
      auto it = std::find_if(workers_.begin(), workers_.end(), [&](const auto& p) { return p.get() == &w; });
      finished_.splice(finished_.end(), workers_, it);
      return;
    }
    free_.push_back(&w);
  }
}

void TTaskPool::Shutdown() {
  TWorkerList all;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (auto& w : workers_) {
      w->stop = true;
      w->wake.notify_one();
    }
    all.swap(workers_);
    all.splice(all.end(), finished_);
    free_.clear();
  }
  JoinAll(all);
}

void TTaskPool::JoinAll(TWorkerList& workers) {
  for (auto& w : workers)
    if (w->thread.joinable()) w->thread.join();
  workers.clear();
}

std::size_t TTaskPool::Size() const {
  std::lock_guard lock(mutex_);
  return workers_.size();
}

std::size_t TTaskPool::Busy() const {
  std::lock_guard lock(mutex_);
  return workers_.size() - free_.size();
}
