#!/usr/bin/env python3
"""Fails when a test of the build has no TIMEOUT: a test that can block must
still end. Usage: check_timeouts.py CTEST BUILD_DIR"""
import json
import subprocess
import sys

listing = subprocess.run([sys.argv[1], "--test-dir", sys.argv[2], "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
tests = json.loads(listing).get("tests", [])
missing = [t["name"] for t in tests
           if not any(p.get("name") == "TIMEOUT" for p in t.get("properties", []))]
if missing:
    print("tests without a TIMEOUT:\n  " + "\n  ".join(missing))
    sys.exit(1)
print(f"{len(tests)} tests, each with a TIMEOUT")
