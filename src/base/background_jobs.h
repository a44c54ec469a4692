#pragma once

#include <QMetaObject>
#include <QObject>

#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace ostrelle {

// For adapters that run each job on a thread of its own and hand its news to the UI thread. A Job has
//   std::thread thread;           started and joined by the UI thread
//   std::atomic<bool> finished;   set as the thread's last act
//   std::mutex mutex;             guarding takePosted
//   bool takePosted;              a take is queued; the take clears it under the mutex

// Joins and forgets the jobs whose threads have ended.
template <typename Job>
void JoinFinished(std::vector<std::shared_ptr<Job>>& jobs) {
    std::erase_if(jobs, [](const std::shared_ptr<Job>& job) {
        if (!job->finished) return false;
        if (job->thread.joinable()) job->thread.join();
        return true;
    });
}

// Waits for the threads of all the jobs.
template <typename Job>
void JoinAll(const std::vector<std::shared_ptr<Job>>& jobs) {
    for (const std::shared_ptr<Job>& job : jobs) {
        if (job->thread.joinable()) job->thread.join();
    }
}

// Starts job's thread on run. Where the system gives no thread, failed(job) is called in its stead: it
// marks the job done with its problem and posts it, as the thread would have.
template <typename Job, typename Run, typename Failed>
void StartJob(const std::shared_ptr<Job>& job, Run run, Failed failed) {
    try {
        job->thread = std::thread(std::move(run));
    } catch (const std::system_error&) {
        failed(job);
    }
}

// Queues take(job) to context's thread, unless a take queued earlier has not run yet: that one sees the
// job as it is by then.
template <typename Job, typename Take>
void PostOnce(QObject* context, const std::shared_ptr<Job>& job, Take take) {
    {
        std::lock_guard lock(job->mutex);
        if (job->takePosted) return;
        job->takePosted = true;
    }
    QMetaObject::invokeMethod(
        context, [job, take = std::move(take)] { take(job); }, Qt::QueuedConnection);
}

}  // namespace ostrelle
