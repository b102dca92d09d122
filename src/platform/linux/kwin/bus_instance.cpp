// The one-instance name and the command calls over libdbus.
#include "platform/linux/kwin/bus_instance.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace tallowmere::kwin {
namespace {

constexpr const char* kName = "org.tallowmere.Tallowmere";
constexpr const char* kPath = "/Tallowmere";
constexpr const char* kInterface = "org.tallowmere.Tallowmere";
constexpr const char* kMethod = "Command";

struct Error {
    DBusError e;
    Error() { dbus_error_init(&e); }
    ~Error() { dbus_error_free(&e); }
    bool is(const char* name) const { return dbus_error_has_name(&e, name); }
};

struct MessageDeleter {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageDeleter>;

DBusConnection* openSession(Error& error) {
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error.e);
    if (connection) {
        // A lost bus is reported through broken(), never by exiting the process.
        dbus_connection_set_exit_on_disconnect(connection, false);
    }
    return connection;
}

void closeSession(DBusConnection* connection) {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
}

std::optional<InstanceCommand> commandNamed(const char* name) {
    for (InstanceCommand c : {InstanceCommand::settings, InstanceCommand::realign,
                              InstanceCommand::center, InstanceCommand::quit}) {
        if (std::strcmp(name, commandName(c)) == 0) {
            return c;
        }
    }
    return std::nullopt;
}

}  // namespace

bool sessionBusHas(const char* name) {
    Error error;
    DBusConnection* connection = openSession(error);
    if (!connection) {
        return false;
    }
    const bool has = dbus_bus_name_has_owner(connection, name, &error.e);
    closeSession(connection);
    return has;
}

std::unique_ptr<BusInstance> BusInstance::connect(std::string& whyNot) {
    Error error;
    DBusConnection* connection = openSession(error);
    if (!connection) {
        whyNot = std::string("cannot reach the session bus: ") +
                 (error.e.message ? error.e.message : "no address");
        return nullptr;
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return std::unique_ptr<BusInstance>(
        new BusInstance(connection, wayland && *wayland ? wayland : "wayland-0"));
}

BusInstance::BusInstance(DBusConnection* connection, std::string displayName)
    : connection_(connection), displayName_(std::move(displayName)) {}

BusInstance::~BusInstance() {
    closeSession(connection_);
}

SingleInstance::Claim BusInstance::claim() {
    Error error;
    const int result =
        dbus_bus_request_name(connection_, kName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error.e);
    if (result == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER ||
        result == DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER) {
        held_ = true;
        return Claim::acquired;
    }
    return result == DBUS_REQUEST_NAME_REPLY_EXISTS ? Claim::heldByAnother : Claim::failed;
}

SingleInstance::Delivery BusInstance::send(InstanceCommand command,
                                           std::chrono::milliseconds timeout) {
    Message call(dbus_message_new_method_call(kName, kPath, kInterface, kMethod));
    const char* name = commandName(command);
    if (!call ||
        !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
        return Delivery::noAnswer;
    }
    // Not started by the bus on our behalf: a program that does not run is not running.
    dbus_message_set_auto_start(call.get(), false);
    Error error;
    Message reply(dbus_connection_send_with_reply_and_block(connection_, call.get(),
                                                            int(timeout.count()), &error.e));
    if (reply) {
        return Delivery::done;
    }
    if (error.is(DBUS_ERROR_SERVICE_UNKNOWN) || error.is(DBUS_ERROR_NAME_HAS_NO_OWNER)) {
        return Delivery::noInstance;
    }
    if (error.is(DBUS_ERROR_NO_REPLY) || error.is(DBUS_ERROR_TIMEOUT)) {
        return Delivery::noAnswer;
    }
    return Delivery::refused;
}

int BusInstance::fd() const {
    int fd = -1;
    return dbus_connection_get_unix_fd(connection_, &fd) ? fd : -1;
}

bool BusInstance::dispatch(const std::function<void(InstanceCommand)>& onCommand) {
    dbus_connection_read_write(connection_, 0);
    while (Message message{dbus_connection_pop_message(connection_)}) {
        DBusMessage* m = message.get();
        if (dbus_message_is_signal(m, DBUS_INTERFACE_DBUS, "NameLost")) {
            const char* lost = nullptr;
            if (dbus_message_get_args(m, nullptr, DBUS_TYPE_STRING, &lost, DBUS_TYPE_INVALID) &&
                std::strcmp(lost, kName) == 0) {
                held_ = false;
            }
            continue;
        }
        if (dbus_message_get_type(m) != DBUS_MESSAGE_TYPE_METHOD_CALL ||
            dbus_message_get_no_reply(m)) {
            continue;
        }
        const char* name = nullptr;
        std::optional<InstanceCommand> command;
        if (dbus_message_is_method_call(m, kInterface, kMethod) &&
            dbus_message_get_args(m, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
            command = commandNamed(name);
        }
        // The sender hears back once the command has been carried out.
        if (command) {
            onCommand(*command);
        }
        Message reply(command ? dbus_message_new_method_return(m)
                              : dbus_message_new_error(m, DBUS_ERROR_UNKNOWN_METHOD,
                                                       "not a tallowmere command"));
        if (reply) {
            dbus_connection_send(connection_, reply.get(), nullptr);
        }
    }
    dbus_connection_flush(connection_);
    return held_;
}

bool BusInstance::broken() const {
    return !dbus_connection_get_is_connected(connection_);
}

}  // namespace tallowmere::kwin
