#pragma once

#include <jsc/jsc.h>

#include <memory>

#include "bridge/channel_client.h"
#include "bridge/status_cache.h"

namespace quillon::bridge {

// One page's end of its channel, with its snapshot of the job statuses.
struct PageChannel {
    explicit PageChannel(base::UniqueFd fd) : client(std::move(fd)) {}
    ChannelClient client;
    StatusCache statuses;
};

// Makes the window.external object for one page's script context. Each member
// read or call is one synchronous request over channel.
JSCValue* newExternalObject(JSCContext* context, std::shared_ptr<PageChannel> channel);

}  // namespace quillon::bridge
