#!/usr/bin/env python3
"""scripts/check-layers against a small tree: one allowed edge per layer, then one fault of each
kind added. Usage: CheckLayersTest.py path/to/check-layers"""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = sys.argv.pop(1) if len(sys.argv) > 1 else None

ALLOWED = {
    "platform/Clock.h": "#include <vector>\n",
    "platform/gui/Style.h": '#include "platform/Clock.h"\n',
    "res/Strings.h": '#include "platform/Clock.h"\n',
    "base/Job.h": '#include "platform/Clock.h"\n',
    "backend/Main.cpp": '#include "base/Job.h"\n#include "platform/Clock.h"\n',
    "fax/Number.h": '#include "base/Job.h"\n',
    "fax/log/Log.h": '#include "fax/Number.h"\n',
    "fax/log/gui/Window.h": '#include "fax/log/Log.h"\n',
    "fax/gui/Dialog.cpp": '#include "fax/log/gui/Window.h"\n#include "ui_Dialog.h"\n'
    '#include "platform/gui/Style.h"\n#include "res/Strings.h"\n',
    "app/Main.cpp": '#include "fax/gui/Dialog.h"\n#include "platform/Version.h"\n',
    "tools/view/Window.cpp": '#include "res/Strings.h"\n#include "fax/log/Log.h"\n',
    "base/CMakeLists.txt": "add_library(qp_base Job.cpp)\n"
    "target_link_libraries(qp_base PUBLIC qp_platform Threads::Threads)\n",
    "fax/CMakeLists.txt": "add_library(qp_fax Number.cpp)\n"
    "target_link_libraries(qp_fax PUBLIC qp_base)\nadd_library(qp_fax_gui Dialog.cpp)\n"
    "target_link_libraries(qp_fax_gui PUBLIC\n    qp_fax\n    Qt6::Widgets)\n",
    "backend/CMakeLists.txt": "add_executable(qp-backend Main.cpp)\n"
    "target_link_libraries(qp-backend PRIVATE qp_base)\n",
}

# One fault of each kind; the cycle is Back.cpp with the allowed include in fax/gui/Dialog.cpp.
FAULTS = {
    "fax/Upward.cpp": '#include "fax/Number.h"\n#include "fax/log/Log.h"\n',
    "cover/Page.cpp": '#include "fax/Number.h"\n',
    "fax/log/gui/Back.cpp": '#include "fax/gui/Dialog.cpp"\n',
    "cover/CMakeLists.txt": "# target_link_libraries(qp_cover PRIVATE Qt6::Widgets) is wrong\n"
    "add_library(qp_cover Page.cpp)\ntarget_link_libraries(qp_cover\n    PRIVATE Qt6::Widgets)\n",
    "backend/CMakeLists.txt": ALLOWED["backend/CMakeLists.txt"]
    + "target_link_libraries(qp-backend PRIVATE Qt6::Core)\n",
}

# Where each fault is reported, and words of the line that say why.
REPORTED = [
    ("fax/Upward.cpp:2", "fax includes fax/log"),
    ("cover/Page.cpp:1", "siblings never include"),
    ("fax/log/gui/Back.cpp:1", "cycle: fax/gui, fax/log/gui"),
    ("fax/gui/Dialog.cpp:1", "cycle: fax/gui, fax/log/gui"),
    ("cover/CMakeLists.txt:3", "links Qt6::Widgets"),
    ("backend/CMakeLists.txt:3", "links Qt6::Core"),
]

def run(files, *args):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        done = subprocess.run([sys.executable, SCRIPT, "--root", root, *args],
                              capture_output=True, text=True)
        return done.returncode, done.stdout.splitlines()


class CheckLayersTest(unittest.TestCase):
    def test_allowed_edges_pass(self):
        self.assertEqual(run(ALLOWED), (0, []))

    def test_each_fault_is_one_line(self):
        code, lines = run({**ALLOWED, **FAULTS})
        self.assertEqual(code, 1)
        self.assertEqual(len(lines), len(REPORTED), "\n".join(lines))
        for where, why in REPORTED:
            with self.subTest(where=where):
                found = [line for line in lines if line.startswith(where + ":")]
                self.assertEqual(len(found), 1, "\n".join(lines))
                self.assertIn(why, found[0])

    def test_graph_counts_edges_and_names_cycles(self):
        code, lines = run({**ALLOWED, **FAULTS}, "--graph")
        self.assertEqual(code, 0)
        self.assertIn("backend -> base  1", lines)
        self.assertIn("  fax/gui <-> fax/log/gui", lines)


if __name__ == "__main__":
    unittest.main()
