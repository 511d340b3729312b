#pragma once

#include <jsc/jsc.h>

#include <memory>

#include "bridge/channel_client.h"

namespace quillon::bridge {

// Makes the window.external object for one page's script context. Each member
// read or call is one synchronous request over channel.
JSCValue* newExternalObject(JSCContext* context, std::shared_ptr<ChannelClient> channel);

}  // namespace quillon::bridge
