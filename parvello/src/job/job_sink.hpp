#pragma once
// Where the job runner reports its events, in the order it makes them. A sink never fails
// and never stops the job.
#include <memory>

#include "job/job_channel.hpp"
#include "job/job_event.hpp"

namespace parvello {

class JobEventSink {
public:
    virtual ~JobEventSink() = default;
    virtual void emit(JobEvent event) = 0;
};

// Drops every event (a job whose caller wants only the result).
class DiscardingSink final : public JobEventSink {
public:
    void emit(JobEvent) override {}
};

// Queues every event in a channel; once the channel is closed (its client went away) the
// events are dropped without notice and the job goes on. The sink closes the channel when it
// is dropped, so the receiving side learns that the job has ended, also when the work that
// held the sink was dropped without running.
class ChannelSink final : public JobEventSink {
public:
    explicit ChannelSink(std::shared_ptr<JobEventChannel> channel) : channel_(std::move(channel)) {}
    ChannelSink(ChannelSink&&) noexcept = default;
    ChannelSink& operator=(ChannelSink&&) = delete;
    ~ChannelSink() override {
        if (channel_) channel_->close();
    }

    void emit(JobEvent event) override { channel_->send(std::move(event)); }

private:
    std::shared_ptr<JobEventChannel> channel_;
};

}  // namespace parvello
