#!/usr/bin/env python3
"""scripts/deps' reading of dpkg-query's status lines, without apt: the script sourced, its
classifier asked about each line. Usage: DepsStatusTest.py path/to/deps"""
import subprocess
import sys
import tempfile
import unittest

SCRIPT = sys.argv.pop(1) if len(sys.argv) > 1 else None

# dpkg-query -W -f='${Status}' prints "want flag state"; nothing for a package dpkg never knew.
CASES = [
    ("install ok installed", True),
    ("hold ok installed", True),
    # Unpacked and configured; only the triggers of another package wait for dpkg's next run.
    ("install ok triggers-pending", True),
    ("install ok triggers-awaited", True),
    ("install ok unpacked", False),
    ("install ok half-configured", False),
    ("install reinstreq half-installed", False),
    ("install reinstreq installed", False),
    ("deinstall ok config-files", False),
    ("unknown ok not-installed", False),
    ("", False),
]


class DepsStatusTest(unittest.TestCase):
    def test_each_status_line(self):
        # No programs on the PATH: were the script to run its installation when sourced, it would
        # find every package missing and say it installs them.
        with tempfile.TemporaryDirectory() as nothing:
            for line, installed in CASES:
                with self.subTest(line=line):
                    run = subprocess.run(
                        ["/bin/bash", "-c", 'source "$1" && is_installed_status "$2"', "deps-test",
                         SCRIPT, line],
                        capture_output=True, text=True, env={"PATH": nothing})
                    self.assertEqual(run.returncode == 0, installed, run.stderr)
                    # Sourcing defines the functions and installs nothing.
                    self.assertEqual(run.stdout, "")


if __name__ == "__main__":
    unittest.main()
