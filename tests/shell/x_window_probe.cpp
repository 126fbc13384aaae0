// A small X client for the end-to-end test: it drops files on a window the way a file manager
// does (XDND), and reads the state a window publishes as a property.
//
//   x_window_probe drop WINDOW X Y PATH...   drops the files at X, Y of WINDOW; exit 0 once the
//                                            window took the drop and said it finished
//   x_window_probe state WINDOW              prints the window's _SPLICOR_WINDOW_STATE
//
// Paths are sent as bytes, percent-escaped in "file://" URIs, so names that are not UTF-8 travel
// as they are.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/select.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int fail(const char* why) {
    std::fprintf(stderr, "x_window_probe: %s\n", why);
    return 1;
}

std::string uriList(char** paths, int count) {
    std::string list;
    const char* hex = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        list += "file://";
        for (const char* p = paths[i]; *p != '\0'; ++p) {
            auto c = static_cast<unsigned char>(*p);
            bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || std::strchr("/-_.~", c) != nullptr;
            if (plain) {
                list += static_cast<char>(c);
            } else {
                list += '%';
                list += hex[c >> 4];
                list += hex[c & 15];
            }
        }
        list += "\r\n";
    }
    return list;
}

class Dropper {
public:
    explicit Dropper(Display* display) : d_(display) {
        root_ = DefaultRootWindow(d_);
        source_ = XCreateSimpleWindow(d_, root_, 0, 0, 1, 1, 0, 0, 0);
        aware_ = XInternAtom(d_, "XdndAware", False);
        selection_ = XInternAtom(d_, "XdndSelection", False);
        enter_ = XInternAtom(d_, "XdndEnter", False);
        position_ = XInternAtom(d_, "XdndPosition", False);
        status_ = XInternAtom(d_, "XdndStatus", False);
        drop_ = XInternAtom(d_, "XdndDrop", False);
        leave_ = XInternAtom(d_, "XdndLeave", False);
        finished_ = XInternAtom(d_, "XdndFinished", False);
        copy_ = XInternAtom(d_, "XdndActionCopy", False);
        uriList_ = XInternAtom(d_, "text/uri-list", False);
        targets_ = XInternAtom(d_, "TARGETS", False);
    }

    int run(Window target, int x, int y, const std::string& data) {
        data_ = data;
        unsigned long version = awareVersion(target);
        if (version == 0) {
            return fail("the window does not take drops (no XdndAware)");
        }
        version = version > 5 ? 5 : version;
        int rootX = 0;
        int rootY = 0;
        Window child = 0;
        XTranslateCoordinates(d_, target, root_, x, y, &rootX, &rootY, &child);
        XSetSelectionOwner(d_, selection_, source_, CurrentTime);

        send(target, enter_, {source_, version << 24, uriList_, None, None});
        send(target, position_,
             {source_, 0,
              static_cast<unsigned long>(rootX) << 16 | static_cast<unsigned long>(rootY),
              CurrentTime, copy_});
        XEvent event;
        if (!waitFor(status_, event)) {
            return fail("no XdndStatus from the window");
        }
        if ((event.xclient.data.l[1] & 1) == 0) {
            send(target, leave_, {source_, 0, 0, 0, 0});
            XFlush(d_);
            return fail("the window refused the drop");
        }
        send(target, drop_, {source_, 0, CurrentTime, 0, 0});
        if (!waitFor(finished_, event)) {
            return fail("the window did not finish the drop");
        }
        if (version >= 5 && (event.xclient.data.l[1] & 1) == 0) {
            return fail("the window finished without taking the drop");
        }
        return requested_ ? 0 : fail("the window never asked for the files");
    }

private:
    unsigned long awareVersion(Window window) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* value = nullptr;
        unsigned long version = 0;
        if (XGetWindowProperty(d_, window, aware_, 0, 1, False, XA_ATOM, &type, &format, &count,
                               &after, &value) == Success &&
            value != nullptr && count == 1) {
            version = *reinterpret_cast<unsigned long*>(value);
        }
        if (value != nullptr) {
            XFree(value);
        }
        return version;
    }

    void send(Window target, Atom message, std::vector<unsigned long> values) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.display = d_;
        event.xclient.window = target;
        event.xclient.message_type = message;
        event.xclient.format = 32;
        for (std::size_t i = 0; i < values.size() && i < 5; ++i) {
            event.xclient.data.l[i] = static_cast<long>(values[i]);
        }
        XSendEvent(d_, target, False, NoEventMask, &event);
        XFlush(d_);
    }

    // Serves requests for the data meanwhile; false after ten seconds without the message.
    bool waitFor(Atom message, XEvent& event) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (XPending(d_) == 0) {
                int fd = ConnectionNumber(d_);
                fd_set set;
                FD_ZERO(&set);
                FD_SET(fd, &set);
                timeval wait{0, 100000};
                select(fd + 1, &set, nullptr, nullptr, &wait);
                continue;
            }
            XNextEvent(d_, &event);
            if (event.type == SelectionRequest) {
                answer(event.xselectionrequest);
            } else if (event.type == ClientMessage && event.xclient.message_type == message) {
                return true;
            }
        }
        return false;
    }

    void answer(const XSelectionRequestEvent& request) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.display = d_;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = None;
        Atom property = request.property != None ? request.property : request.target;
        if (request.target == uriList_) {
            XChangeProperty(d_, request.requestor, property, uriList_, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(data_.data()),
                            static_cast<int>(data_.size()));
            reply.xselection.property = property;
            requested_ = true;
        } else if (request.target == targets_) {
            Atom offered[] = {targets_, uriList_};
            XChangeProperty(d_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 2);
            reply.xselection.property = property;
        }
        XSendEvent(d_, request.requestor, False, NoEventMask, &reply);
        XFlush(d_);
    }

    Display* d_;
    Window root_;
    Window source_;
    Atom aware_, selection_, enter_, position_, status_, drop_, leave_, finished_, copy_, uriList_,
        targets_;
    std::string data_;
    bool requested_ = false;
};

int printState(Display* display, Window window) {
    Atom property = XInternAtom(display, "_SPLICOR_WINDOW_STATE", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1 << 20, False, AnyPropertyType, &type,
                           &format, &count, &after, &value) != Success ||
        value == nullptr || format != 8) {
        return fail("the window publishes no state");
    }
    std::fwrite(value, 1, count, stdout);
    XFree(value);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: x_window_probe drop WINDOW X Y PATH...\n"
                     "       x_window_probe state WINDOW\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return fail("no display");
    }
    auto window = static_cast<Window>(std::strtoul(argv[2], nullptr, 0));
    int status = 2;
    if (std::strcmp(argv[1], "state") == 0) {
        status = printState(display, window);
    } else if (std::strcmp(argv[1], "drop") == 0 && argc >= 6) {
        status = Dropper(display).run(window, std::atoi(argv[3]), std::atoi(argv[4]),
                                      uriList(argv + 5, argc - 5));
    }
    XCloseDisplay(display);
    return status;
}
