#!/usr/bin/env python3
"""Checks the layers as the compiler and the linker see them.

Every #include in src/ and tests/ is resolved as the compiler resolves it (a quoted include first next to the
including file, then along the include path of the target that compiles it; an angle-bracket include along that
path only), and every target's direct links are read from the configured build (<build>/layer-links.tsv, written
by cmake/VandrelLayers.cmake). A file may include, and a library may link, only its own layer and the layers
below it, and only the Qt modules its layer may use. A test may also use the simulated platform and the tests'
support folder. Prints each offence and exits 1 when there is one; exits 2 when the build is not configured.

Usage: check-layers.sh [build folder, default <repository>/build]
"""
import os
import re
import sys

# Layer folder (under src/ and tests/): the layers it may use besides itself / the Qt modules it may use.
# The table is the architecture; a change to it is a design change.
BELOW_CATALOGUE = "windowbinding clip engine model platform storage eval core rx"
LAYERS = {
    "rx": ("", ""),
    "core": ("rx", "Core"),
    "eval": ("", "Core Qml"),  # the hotstring evaluator's JavaScript engine
    "storage": ("core rx", "Core"),
    "net": ("core rx", "Core Network"),
    "platform": ("core rx", "Core"),
    "platform/sim": ("platform core rx", "Core"),
    "platform/linux": ("platform/linux/clipboard platform core rx", "Core DBus"),  # logind over D-Bus
    "platform/linux/clipboard": ("platform/linux platform core rx", "Core Gui"),  # QClipboard, QImage
    "model": ("platform core rx", "Core"),
    "engine": ("model platform core rx", "Core"),
    "windowbinding": ("engine model platform storage core rx", "Core"),
    "clip": ("engine model platform storage eval core rx", "Core"),
    "catalogue": (BELOW_CATALOGUE, "Core"),
    "ui/base": ("platform core rx", "Core Gui Widgets"),
    "ui/prefs": ("ui/base catalogue " + BELOW_CATALOGUE, "Core Gui Widgets"),
    "ui/overlays": ("ui/base catalogue net " + BELOW_CATALOGUE, "Core Gui Widgets Qml"),  # keyboard map scripts
    "helper": ("core rx", "Core"),
    "app": ("*", "*"),
    # Test-only folders: the tests' main and support (test X servers, processes, event loops), and the
    # end-to-end tests of the whole program with the VM harness and its probe application.
    "support": ("", "Core Gui Widgets"),
    "vm": ("*", "Core Gui Widgets"),
}
TEST_EXTRAS = {"platform/sim", "support"}  # what every test may use besides its layer and below
# Test folders that run their layer together with higher ones, as the program puts them together.
TEST_ALSO = {
    # The core object runs the factory layout and the built-in actions, and stores window-binding records.
    "tests/engine": "catalogue windowbinding storage",
    # The key path from a kernel keyboard through the engine's taps, and the workspace under the engine.
    "tests/platform/linux": "engine catalogue",
    # Capture and paste between processes through the real desktop clipboard.
    "tests/platform/linux/clipboard": "clip engine model storage eval",
    # Binding real windows of a private X server.
    "tests/windowbinding": "platform/linux",
}
TEST_ONLY_FOLDERS = {"tests": "support", "tests/support": "support", "tests/vm": "vm"}
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
QT_LINK = re.compile(r"^Qt6?::(\w+)$")
QT_HEADER = re.compile(r"/qt6/Qt(\w+)/[^/]+$")


def fail_setup(message):
    print(f"check-layers: {message}")
    sys.exit(2)


class Tree:
    """The checked tree and what the build says about it."""

    def __init__(self, root, build):
        self.root = os.path.realpath(root)  # the tree checked, maybe a copy of the one the build was made from
        self.build = os.path.realpath(build)
        self.targets = {}  # name -> (folder, type, links, sources, include folders)
        self.read_build(build)
        self.exists_cache = {}

    def read_build(self, build):
        path = os.path.join(build, "layer-links.tsv")
        if not os.path.isfile(path):
            fail_setup(f"{path} is missing: configure the build first (cmake -S . -B {build})")
        with open(path, encoding="utf-8") as f:
            header = f.readline().rstrip("\n").split("\t")
            if header[0] != "#source":
                fail_setup(f"{path}: unknown format")
            built_root = header[1]
            for line in f:
                name, folder, kind, links, sources, includes = (line.rstrip("\n").split("\t") + [""] * 6)[:6]

                def local(paths):
                    out = []
                    for p in filter(None, paths.split(";")):
                        if p == built_root or p.startswith(built_root + "/"):
                            p = self.root + p[len(built_root) :]
                        out.append(os.path.normpath(p))
                    return out

                # "$<LINK_ONLY:x>" is a link of x; "::@..." marks where a link was added, not what.
                links = [re.sub(r"^\$<LINK_ONLY:(.*)>$", r"\1", l) for l in links.split(";")]
                links = list(dict.fromkeys(l for l in links if l and not l.startswith("::@")))
                self.targets[name] = (folder, kind, links, local(sources), list(dict.fromkeys(local(includes))))

    def exists(self, path):
        if path not in self.exists_cache:
            self.exists_cache[path] = os.path.isfile(path)
        return self.exists_cache[path]

    def rel(self, path):
        return path[len(self.root) + 1 :] if path.startswith(self.root + "/") else None


def layer_of(rel):
    """The layer of a path relative to the repository, None outside src/ and tests/."""
    parts = rel.split("/")
    if parts[0] not in ("src", "tests") or len(parts) < 2:
        return None
    folder = "/".join(parts[:-1])
    for prefix, layer in TEST_ONLY_FOLDERS.items():
        if folder == prefix or (prefix != "tests" and folder.startswith(prefix + "/")):
            return layer
    inner = parts[1:-1]
    for n in range(len(inner), 0, -1):
        candidate = "/".join(inner[:n])
        if candidate in LAYERS:
            return candidate
    return "?" + "/".join(inner)


def may_use(layer, used, test_folder=None):
    """Whether a file or target of layer may use layer used; test_folder: the test's folder, for a test."""
    if used == layer or LAYERS[layer][0] == "*" or used in LAYERS[layer][0].split():
        return True
    if test_folder is None:
        return False
    if used in TEST_EXTRAS:
        return True
    return any(
        used in also.split() for folder, also in TEST_ALSO.items() if (test_folder + "/").startswith(folder + "/")
    )


def qt_allowed(layer, module):
    allowed = LAYERS[layer][1]
    return allowed == "*" or module in allowed.split()


def include_roots(tree):
    """Each compiled file's include path, and for other files (headers) the path of their folder's targets."""
    by_file, by_folder = {}, {}
    qt_folders = set()
    for folder, _kind, _links, sources, all_includes in tree.targets.values():
        # Only the tree's own folders can hold a layer's header; Qt's folders are searched by name below.
        includes = [inc for inc in all_includes if tree.rel(inc) is not None]
        qt_folders.update(inc for inc in all_includes if re.search(r"/qt6(/Qt\w+)?$", inc))
        by_folder.setdefault(os.path.join(tree.root, folder), []).extend(includes)
        for source in sources:
            by_file.setdefault(source, []).extend(includes)
            by_folder.setdefault(os.path.dirname(source), []).extend(includes)
    by_folder = {k: list(dict.fromkeys(v)) for k, v in by_folder.items()}
    return by_file, by_folder, sorted(qt_folders)


def check_includes(tree, problems):
    by_file, by_folder, qt_folders = include_roots(tree)
    default_roots = [os.path.join(tree.root, "src"), os.path.join(tree.root, "tests")]
    for top in ("src", "tests"):
        for folder, _dirs, files in os.walk(os.path.join(tree.root, top)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(folder, name)
                rel = tree.rel(path)
                layer = layer_of(rel)
                if layer.startswith("?"):
                    problems.append(f"{rel}: folder {layer[1:]} is not in the table")
                    continue
                roots = by_file.get(path) or by_folder.get(folder) or default_roots
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for quote, include in INCLUDE.findall(text):
                    test_folder = os.path.dirname(rel) if top == "tests" else None
                    check_include(tree, problems, rel, layer, test_folder, quote, include, folder, roots, qt_folders)


def resolve(tree, include, candidates):
    for base in candidates:
        path = os.path.normpath(os.path.join(base, include))
        if tree.exists(path):
            return path
    return None


def check_include(tree, problems, rel, layer, test_folder, quote, include, folder, roots, qt_folders):
    candidates = ([folder] if quote == '"' else []) + roots
    found = resolve(tree, include, candidates)
    if found is None and re.match(r"^Q|^Qt\w+/", include):
        found = resolve(tree, include, qt_folders)  # a Qt header the target's path lacks names its module too
    if found is None:
        return
    shown = f"{quote}{include}{'>' if quote == '<' else quote}"
    used_rel = tree.rel(found)
    if used_rel is not None:
        used = layer_of(used_rel)
        if used is None or used.startswith("?"):
            if not (found + "/").startswith(tree.build + "/"):
                problems.append(f"{rel} includes {shown}: {used_rel} is outside the layers")
            return
        if not may_use(layer, used, test_folder):
            problems.append(f"{rel} includes {shown} ({used_rel}): {layer} may not use {used}")
        return
    module = QT_HEADER.search(found)
    if module and not qt_allowed(layer, module.group(1)):
        problems.append(f"{rel} includes {shown}: {layer} may not use Qt {module.group(1)}")


def check_links(tree, problems):
    layer_of_target = {}
    for name, (folder, _kind, _links, _sources, _includes) in tree.targets.items():
        layer = layer_of(folder + "/x")
        if layer is not None and not layer.startswith("?"):
            layer_of_target[name] = layer
    for name, (folder, _kind, links, sources, _includes) in sorted(tree.targets.items()):
        layer = layer_of_target.get(name)
        if layer is None:
            continue
        test_folder = None
        if folder.split("/")[0] == "tests":
            # A test listed in a parent folder's CMakeLists.txt belongs where its sources are.
            # Generated sources live in the build folder, whatever its name: only those under tests/ count.
            own = [s for s in sources if (tree.rel(s) or "").startswith("tests/")]
            test_folder = tree.rel(os.path.commonpath([os.path.dirname(s) for s in own])) if own else folder
            layer = layer_of(test_folder + "/x")
        # A library links the Qt modules of every folder it builds (platform/linux carries its clipboard).
        sublayers = [layer] + [l for l in LAYERS if l.startswith(layer + "/")]
        for link in links:
            qt = QT_LINK.match(link)
            if qt:
                if not any(qt_allowed(l, qt.group(1)) for l in sublayers):
                    problems.append(f"{folder}: {name} links {link}: {layer} may not use Qt {qt.group(1)}")
            elif link in layer_of_target and not may_use(layer, layer_of_target[link], test_folder):
                problems.append(f"{folder}: {name} links {link}: {layer} may not use {layer_of_target[link]}")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build")
    tree = Tree(root, build)
    problems = []
    check_includes(tree, problems)
    check_links(tree, problems)
    for p in problems:
        print(f"check-layers: {p}")
    if not problems:
        print("check-layers: every file and target uses only its layer, the layers below it and its Qt modules")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
