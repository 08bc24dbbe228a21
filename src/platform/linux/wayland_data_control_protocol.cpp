#include "platform/linux/wayland_data_control_protocol.h"

#include <wayland-client-protocol.h>

namespace tovalit::wlr_data_control {

namespace {

// The interfaces of the objects the messages carry, as libwayland reads
// them: a message's entry starts at the offset its table names, one entry
// per argument (null for plain values).
// libwayland takes the table as non-const; nothing writes to it.
const wl_interface *types[] = {
    nullptr,          nullptr,         &sourceInterface, &deviceInterface, &wl_seat_interface,
    &sourceInterface, &offerInterface, &offerInterface,  &sourceInterface, &offerInterface,
};

const wl_message managerRequests[] = {
    {"create_data_source", "n", types + 2},
    {"get_data_device", "no", types + 3},
    {"destroy", "", types + 0},
};

const wl_message deviceRequests[] = {
    {"set_selection", "?o", types + 5},
    {"destroy", "", types + 0},
    {"set_primary_selection", "2?o", types + 8},
};
const wl_message deviceEvents[] = {
    {"data_offer", "n", types + 6},
    {"selection", "?o", types + 7},
    {"finished", "", types + 0},
    {"primary_selection", "2?o", types + 9},
};

const wl_message sourceRequests[] = {
    {"offer", "s", types + 0},
    {"destroy", "", types + 0},
};
const wl_message sourceEvents[] = {
    {"send", "sh", types + 0},
    {"cancelled", "", types + 0},
};

const wl_message offerRequests[] = {
    {"receive", "sh", types + 0},
    {"destroy", "", types + 0},
};
const wl_message offerEvents[] = {
    {"offer", "s", types + 0},
};

enum ManagerRequest : uint32_t {
    createDataSourceOpcode,
    getDataDeviceOpcode,
    destroyManagerOpcode
};
enum DeviceRequest : uint32_t { setSelectionOpcode, destroyDeviceOpcode };
enum SourceRequest : uint32_t { offerOpcode, destroySourceOpcode };
enum OfferRequest : uint32_t { receiveOpcode, destroyOfferOpcode };

} // namespace

const wl_interface managerInterface = {
    "zwlr_data_control_manager_v1", 2, 3, managerRequests, 0, nullptr};
const wl_interface deviceInterface = {
    "zwlr_data_control_device_v1", 2, 3, deviceRequests, 4, deviceEvents};
const wl_interface sourceInterface = {
    "zwlr_data_control_source_v1", 1, 2, sourceRequests, 2, sourceEvents};
const wl_interface offerInterface = {
    "zwlr_data_control_offer_v1", 1, 2, offerRequests, 1, offerEvents};

wl_proxy *createDataSource(wl_proxy *manager) {
    return wl_proxy_marshal_flags(manager, createDataSourceOpcode, &sourceInterface,
                                  wl_proxy_get_version(manager), 0, nullptr);
}

wl_proxy *getDataDevice(wl_proxy *manager, wl_proxy *seat) {
    return wl_proxy_marshal_flags(manager, getDataDeviceOpcode, &deviceInterface,
                                  wl_proxy_get_version(manager), 0, nullptr, seat);
}

void destroyManager(wl_proxy *manager) {
    wl_proxy_marshal_flags(manager, destroyManagerOpcode, nullptr, wl_proxy_get_version(manager),
                           WL_MARSHAL_FLAG_DESTROY);
}

void setSelection(wl_proxy *device, wl_proxy *source) {
    wl_proxy_marshal_flags(device, setSelectionOpcode, nullptr, wl_proxy_get_version(device), 0,
                           source);
}

void destroyDevice(wl_proxy *device) {
    wl_proxy_marshal_flags(device, destroyDeviceOpcode, nullptr, wl_proxy_get_version(device),
                           WL_MARSHAL_FLAG_DESTROY);
}

void offer(wl_proxy *source, const char *mimeType) {
    wl_proxy_marshal_flags(source, offerOpcode, nullptr, wl_proxy_get_version(source), 0, mimeType);
}

void destroySource(wl_proxy *source) {
    wl_proxy_marshal_flags(source, destroySourceOpcode, nullptr, wl_proxy_get_version(source),
                           WL_MARSHAL_FLAG_DESTROY);
}

void receive(wl_proxy *offer, const char *mimeType, int32_t fd) {
    wl_proxy_marshal_flags(offer, receiveOpcode, nullptr, wl_proxy_get_version(offer), 0, mimeType,
                           fd);
}

void destroyOffer(wl_proxy *offer) {
    wl_proxy_marshal_flags(offer, destroyOfferOpcode, nullptr, wl_proxy_get_version(offer),
                           WL_MARSHAL_FLAG_DESTROY);
}

} // namespace tovalit::wlr_data_control
