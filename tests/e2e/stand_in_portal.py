#!/usr/bin/python3
# A desktop portal with only the GlobalShortcuts interface, on the test's
# private bus: it keeps each call as a line (Calls), answers through Request
# objects as the real portal does, or refuses (--refuse). Its Test method
# answers the calls so far, after sending Activated for any other argument
# than "calls".
import sys
from gi.repository import Gio, GLib

PATH = "/org/freedesktop/portal/desktop"
XML = """<node><interface name="org.freedesktop.portal.GlobalShortcuts">
<method name="CreateSession"><arg type="a{sv}"/><arg type="o" direction="out"/></method>
<method name="BindShortcuts"><arg type="o"/><arg type="a(sa{sv})"/><arg type="s"/>
 <arg type="a{sv}"/><arg type="o" direction="out"/></method></interface>
<interface name="org.example.PortalTest"><method name="Test"><arg type="s"/>
<arg type="as" direction="out"/></method></interface>
<interface name="org.freedesktop.portal.Session"><method name="Close"/></interface></node>"""
node = Gio.DBusNodeInfo.new_for_xml(XML)
refuse = "--refuse" in sys.argv
calls, sessions, latest = [], [], "/"


def listed(shortcuts):
    return " ".join(f"{i}|{o.get('description')}|{o.get('preferred_trigger')}" for i, o in shortcuts)


def respond(bus, sender, token, code, results):
    path = f"{PATH}/request/{sender[1:].replace('.', '_')}/{token}"
    bus.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                    GLib.Variant("(ua{sv})", (code, results)))
    return path


def on_call(bus, sender, path, iface, method, args, invocation):
    args = args.unpack()
    global latest
    if method == "CreateSession":
        calls.append("CreateSession " + listed(args[0].get("shortcuts", [])))
        session = f"{PATH}/session/{sender[1:].replace('.', '_')}/{args[0]['session_handle_token']}"
        if not refuse:
            sessions.append(bus.register_object(session, node.interfaces[2], on_call))
            latest = session
        results = {} if refuse else {"session_handle": GLib.Variant("s", session)}
        reply = respond(bus, sender, args[0]["handle_token"], 1 if refuse else 0, results)
    elif method == "BindShortcuts":
        calls.append("BindShortcuts " + listed(args[1]))
        reply = respond(bus, sender, args[3]["handle_token"], 0, {})
    elif method == "Close":
        calls.append("Close")
        return invocation.return_value(None)
    else:  # Test: Activated for the latest session
        if args[0] != "calls":
            bus.emit_signal(None, PATH, node.interfaces[0].name, "Activated",
                            GLib.Variant("(osta{sv})", (latest, args[0], 0, {})))
        return invocation.return_value(GLib.Variant("(as)", (calls,)))
    invocation.return_value(GLib.Variant("(o)", (reply,)))


bus = Gio.bus_get_sync(Gio.BusType.SESSION)
for i in (0, 1):
    bus.register_object(PATH, node.interfaces[i], on_call)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", 0, None, None)
GLib.MainLoop().run()
