#pragma once

#include <cstdint>
#include <wayland-client.h>

// The client side of the data-control protocol (wlr-data-control, version
// 1 of its four interfaces), written out from its published description:
// Debian 12 ships libwayland but not this protocol's description to
// generate the code from. Requests are sent with wl_proxy_marshal_flags,
// in the order and with the signatures the protocol gives them.
namespace tovalit::wlr_data_control {

extern const wl_interface managerInterface;
extern const wl_interface deviceInterface;
extern const wl_interface sourceInterface;
extern const wl_interface offerInterface;

// Events of a data-control device, in protocol order.
struct DeviceListener {
    void (*dataOffer)(void *data, wl_proxy *device, wl_proxy *offer);
    void (*selection)(void *data, wl_proxy *device, wl_proxy *offer);
    void (*finished)(void *data, wl_proxy *device);
    void (*primarySelection)(void *data, wl_proxy *device, wl_proxy *offer);
};

// Events of a data-control source, in protocol order.
struct SourceListener {
    void (*send)(void *data, wl_proxy *source, const char *mimeType, int32_t fd);
    void (*cancelled)(void *data, wl_proxy *source);
};

// Events of a data-control offer.
struct OfferListener {
    void (*offer)(void *data, wl_proxy *offer, const char *mimeType);
};

wl_proxy *createDataSource(wl_proxy *manager);
wl_proxy *getDataDevice(wl_proxy *manager, wl_proxy *seat);
void destroyManager(wl_proxy *manager);
// A null source empties the selection.
void setSelection(wl_proxy *device, wl_proxy *source);
void destroyDevice(wl_proxy *device);
void offer(wl_proxy *source, const char *mimeType);
void destroySource(wl_proxy *source);
// Asks the selection's owner to write its content as `mimeType` into `fd`
// (the write end of a pipe, which the caller still closes).
void receive(wl_proxy *offer, const char *mimeType, int32_t fd);
void destroyOffer(wl_proxy *offer);

} // namespace tovalit::wlr_data_control
