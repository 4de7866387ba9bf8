#!/usr/bin/python3
# A desktop portal with only the GlobalShortcuts interface, on the test's
# private bus: it keeps each call as a line, answers through Request objects
# as the real portal does, though its sessions have no object (the program
# does not wait for an answer to their Close), or refuses (--refuse). Its
# Test method answers the calls so far, after sending Activated for any
# other argument than "calls".
import sys
from gi.repository import Gio, GLib

PATH = "/org/freedesktop/portal/desktop"
node = Gio.DBusNodeInfo.new_for_xml("""<node>
<interface name="org.freedesktop.portal.GlobalShortcuts">
 <method name="CreateSession"><arg type="a{sv}"/><arg type="o" direction="out"/></method>
 <method name="BindShortcuts"><arg type="o"/><arg type="a(sa{sv})"/><arg type="s"/><arg type="a{sv}"/>
  <arg type="o" direction="out"/></method></interface>
<interface name="org.example.PortalTest">
 <method name="Test"><arg type="s"/><arg type="as" direction="out"/></method></interface></node>""")
calls, latest = [], "/"


def listed(shortcuts):
    return " ".join(f"{i}|{o.get('description')}|{o.get('preferred_trigger')}" for i, o in shortcuts)


def on_call(bus, sender, path, iface, method, args, invocation):
    global latest
    args, code, results = args.unpack(), 0, {}
    if method == "CreateSession":
        calls.append("CreateSession " + listed(args[0].get("shortcuts", [])))
        code = int("--refuse" in sys.argv)
        if not code:
            latest = f"{PATH}/session/{sender[1:].replace('.', '_')}/{args[0]['session_handle_token']}"
            results = {"session_handle": GLib.Variant("s", latest)}
    elif method == "BindShortcuts":
        calls.append("BindShortcuts " + listed(args[1]))
    else:  # Test: Activated for the latest session
        if args[0] != "calls":
            bus.emit_signal(None, PATH, node.interfaces[0].name, "Activated",
                            GLib.Variant("(osta{sv})", (latest, args[0], 0, {})))
        return invocation.return_value(GLib.Variant("(as)", (calls,)))
    request = f"{PATH}/request/{sender[1:].replace('.', '_')}/{args[-1]['handle_token']}"
    bus.emit_signal(sender, request, "org.freedesktop.portal.Request", "Response",
                    GLib.Variant("(ua{sv})", (code, results)))
    invocation.return_value(GLib.Variant("(o)", (request,)))


bus = Gio.bus_get_sync(Gio.BusType.SESSION)
for interface in node.interfaces:
    bus.register_object(PATH, interface, on_call)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", 0, None, None)
GLib.MainLoop().run()
