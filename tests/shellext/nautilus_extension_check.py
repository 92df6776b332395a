"""Loads the Nautilus extension that quillmar-cml wrote, with stand-ins for gi, GObject and Nautilus,
and prints its menu for the files given, its menu for a folder, and the command that the item
"Lock file in [Safe: Work]" runs (one word a line).

Usage: nautilus_extension_check.py EXTENSION FOLDER FILE...
"""
import importlib.machinery
import os
import subprocess
import sys
import types


class Menu:
    def __init__(self):
        self.items = []

    def append_item(self, item):
        self.items.append(item)


class MenuItem:
    def __init__(self, name, label, tip="", icon=None):
        self.name, self.label, self.tip = name, label, tip
        self.submenu = None
        self.handlers = []

    def set_submenu(self, menu):
        self.submenu = menu

    def connect(self, signal, callback, *data):
        self.handlers.append((signal, callback, data))

    def activate(self):
        for signal, callback, data in self.handlers:
            if signal == "activate":
                callback(self, *data)


class MenuProvider:
    pass


class FileInfo:
    """What Nautilus hands an extension for each chosen item."""

    def __init__(self, path):
        self.path = path

    def is_directory(self):
        return os.path.isdir(self.path)

    def get_location(self):
        return types.SimpleNamespace(get_path=lambda: self.path)


def install_stand_ins():
    gi = types.ModuleType("gi")
    gi.require_version = lambda name, version: None
    repository = types.ModuleType("gi.repository")
    nautilus = types.ModuleType("gi.repository.Nautilus")
    nautilus.Menu, nautilus.MenuItem, nautilus.MenuProvider = Menu, MenuItem, MenuProvider
    gobject = types.ModuleType("gi.repository.GObject")
    gobject.GObject = type("GObject", (), {})
    repository.Nautilus, repository.GObject = nautilus, gobject
    gi.repository = repository
    sys.modules.update({"gi": gi, "gi.repository": repository, "gi.repository.Nautilus": nautilus,
                        "gi.repository.GObject": gobject})


def write(line):
    sys.stdout.buffer.write(os.fsencode(line) + b"\n")


def main():
    install_stand_ins()
    # The extension is loaded from its file, as Nautilus loads it (it is no installed module).
    loader = importlib.machinery.SourceFileLoader("quillmar_extension", sys.argv[1])
    module = types.ModuleType(loader.name)
    loader.exec_module(module)
    provider = module.BrelkanQuillmarMenu()

    # Nautilus 43 passes the files alone.
    menu = provider.get_file_items([FileInfo(path) for path in sys.argv[3:]])
    top = menu[0]
    write("menu: %s | %s" % (top.label, top.tip))
    for item in top.submenu.items:
        write("item: %s | %s" % (item.label, item.tip))
    write("folder chosen: %d items" % len(provider.get_file_items([FileInfo(sys.argv[2])])))

    calls = []
    subprocess.Popen = lambda argv, **options: calls.append(argv)
    [work] = [item for item in top.submenu.items if item.label == "Lock file in [Safe: Work]"]
    work.activate()
    for argv in calls:
        write("run:")
        for word in argv:
            write(word)
    sys.stdout.flush()


if __name__ == "__main__":
    main()
