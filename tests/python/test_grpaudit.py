"""The Python module against the command: the same audits, dumps and errors.

Run by ctest with the module's directory on PYTHONPATH and, in the
environment, GRPAUDIT_BINARY (the command), GRPAUDIT_GEN (the switch
generator), GRPAUDIT_SOURCE_DIR and GRPAUDIT_BUILD_DIR.
"""

import json
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import grpaudit

SOURCE = os.environ["GRPAUDIT_SOURCE_DIR"]
BINARY = os.environ["GRPAUDIT_BINARY"]
EXAMPLES = [os.path.join(SOURCE, "examples", name + ".json")
            for name in ("leaf-riot", "mlag-peer", "traditional-bridge")]
LEAF = EXAMPLES[0]


def command(*args):
    return subprocess.run([BINARY, *args], capture_output=True, text=True)


class ReplayShell:
    """An SDK shell in Python, answering from a snapshot's recorded answers."""

    def __init__(self, path, gettable_error=None, edit=lambda cmd, out: out):
        with open(path) as f:
            self.sdk = json.load(f)["sdk"]
        self.gettable_error = gettable_error
        self.edit = edit
        self.commands = []

    def run(self, cmd):
        self.commands.append(cmd)
        return self.edit(cmd, self.sdk["commands"][cmd])

    def gettable(self, table, fields, start, entries):
        if self.gettable_error:
            raise self.gettable_error
        rows = self.sdk["tables"][table]
        return [rows[str(i)] for i in range(start, start + entries)]


def leaf_ports():
    with open(LEAF) as f:
        return json.load(f)["port_table"]["sdk_to_linux"]


class AuditsAsTheCommandDoes(unittest.TestCase):
    def test_examples_audit_and_dump_as_the_command(self):
        for path in EXAMPLES:
            with self.subTest(path=os.path.basename(path)):
                asic = grpaudit.Asic(grpaudit.Snapshot(path))
                self.assertEqual(asic.dump_mroutes(),
                                 command("dump", "--snapshot", path).stdout)
                expected = json.loads(command("check", "--json", "--snapshot", path).stdout)
                report = grpaudit.audit(asic)
                self.assertEqual(report.to_dict(), expected)
                self.assertEqual((list(report), report[-1], report.summary, report.faults),
                                 (expected["routes"], expected["routes"][-1],
                                  expected["summary"], len(report.faulty_routes())))
                # Again on the same Asic: no message twice, and the first
                # report keeps its own.
                self.assertEqual(grpaudit.audit(asic).to_dict(), expected)
                self.assertEqual(report.to_dict(), expected)
                key = sorted(asic.get_mroutes())[-1]
                self.assertEqual(
                    grpaudit.audit(asic, [key, "default, (9.9.9.9,239.9.9.9)"]).to_dict(),
                    json.loads(command("check", "--json", "--snapshot", path, key,
                                       "default, (9.9.9.9,239.9.9.9)").stdout))
                summary_line = command("check", "--snapshot", path).stdout.splitlines()[-1]
                self.assertEqual(repr(report), f"<grpaudit.Report: {summary_line.split(':')[0]}>")

    def test_the_example_script_reports_the_commands_faults(self):
        def faults(text):
            return [line for line in text.splitlines()
                    if line.split(":")[0] in ("mismatch", "missing-in-hw", "missing-in-kernel")]

        script = os.path.join(SOURCE, "examples", "audit.py")
        run = subprocess.run([sys.executable, script, LEAF], capture_output=True, text=True)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertEqual(faults(run.stdout), faults(command("check", "--snapshot", LEAF).stdout))
        self.assertEqual(run.stdout.splitlines()[-1].split(":")[0], "9 routes, 5 faults")

    def test_tables_and_records_read_only_with_their_text(self):
        asic = grpaudit.Asic(grpaudit.Snapshot(LEAF))
        self.assertEqual(set(asic.mroutes), asic.get_mroutes())
        key = "blue, (10.30.0.5,239.3.3.3)"
        route = asic.mroutes[key]
        self.assertEqual((route.vrf, route.sip, route.dip, route.iif), ("blue", "10.30.0.5", "239.3.3.3", 4101))
        self.assertTrue(asic.dump_mroutes([key]).startswith(repr(route)))
        group = asic.replication_groups[route.grp]
        self.assertIn(repr(group.l3_encaps[0]), repr(group))
        self.assertEqual(group.get_l3_linux_encaps(), {e.encap2swp() for e in group.l3_encaps})
        with self.assertRaises(AttributeError):
            route.iif = 1
        with self.assertRaises(KeyError):
            asic.mroutes["default, (1.2.3.4,239.1.1.1)"]
        # A route compared by hand keeps its messages, as the library's Asic does.
        self.assertFalse(asic.mroute_eq(key, "vlan100", ["swp1"]))
        self.assertTrue(asic.mroutes[key].oil_mismatch)
        fresh = grpaudit.audit(grpaudit.Asic(grpaudit.Snapshot(LEAF)))
        self.assertEqual(grpaudit.audit(asic).to_dict(), fresh.to_dict())  # it starts afresh
        # Routes the switch originates are the checker's, any callable.
        peer = grpaudit.Asic(grpaudit.Snapshot(EXAMPLES[1]))
        calls = []
        key = "default, (10.10.0.99,239.10.0.2)"
        self.assertFalse(peer.mroute_eq(key, "peerlink.4094", ["vlan10"],
                                        lambda *args: calls.append(args)))

        class Checker:  # the library's form, which may look at the Asic it is given
            def check_orig_mroute(self, asic, src, grp):
                return calls.append((asic.mroutes[key].iif, src, grp)) or True

            def check_term_mroute(self, src, grp):
                return False

        self.assertTrue(peer.mroute_eq(key, "peerlink.4094", ["vlan10"], Checker()))
        self.assertEqual(calls, [("originated", "10.10.0.99", "239.10.0.2"),
                                 (1094, "10.10.0.99", "239.10.0.2")])


class PythonShells(unittest.TestCase):
    def test_a_python_shell_drives_the_construction(self):
        shell = ReplayShell(LEAF)
        switch = grpaudit.LiveSwitch(sdk_shell=shell, port_table=leaf_ports(),
                                     vrf_map={2: "blue"}, host=grpaudit.Snapshot(LEAF))
        asic = grpaudit.Asic(switch)
        self.assertEqual(asic.dump_mroutes(), command("dump", "--snapshot", LEAF).stdout)
        self.assertEqual(grpaudit.audit(asic).to_dict(),
                         json.loads(command("check", "--json", "--snapshot", LEAF).stdout))
        self.assertEqual(shell.commands[0], "show portmap")

    def test_shell_failures(self):
        host = grpaudit.Snapshot(LEAF)
        timing_out = ReplayShell(LEAF, gettable_error=grpaudit.ShellTimeout("no answer"))
        asic = grpaudit.Asic(grpaudit.LiveSwitch(timing_out, leaf_ports(), {2: "blue"}, host))
        # Passed through where the library does not turn it into a reader's error.
        with self.assertRaises(grpaudit.ShellTimeout) as caught:
            grpaudit.audit(asic)
        self.assertEqual(str(caught.exception), "no answer")

        class Silent(ReplayShell):
            def run(self, cmd):
                raise grpaudit.ShellTimeout("no answer")

        with self.assertRaises(RuntimeError) as caught:
            grpaudit.Asic(grpaudit.LiveSwitch(Silent(LEAF), leaf_ports(), host=host))
        self.assertEqual(str(caught.exception), "show portmap timed out")  # the reader's text

        class Broken(ReplayShell):
            def run(self, cmd):
                return 42

        with self.assertRaisesRegex(TypeError, "run\\(\\) returned int, not str"):
            grpaudit.Asic(grpaudit.LiveSwitch(Broken(LEAF), leaf_ports(), host=host))

        class Failing(ReplayShell):
            def run(self, cmd):
                raise ZeroDivisionError(cmd)

        with self.assertRaises(ZeroDivisionError):
            grpaudit.Asic(grpaudit.LiveSwitch(Failing(LEAF), leaf_ports(), host=host))


class Errors(unittest.TestCase):
    def test_library_errors_map_to_python_ones_with_their_texts(self):
        with tempfile.TemporaryDirectory() as tmp:
            bad_json = os.path.join(tmp, "bad.json")
            with open(bad_json, "w") as f:
                f.write("{")
            bad_table = os.path.join(tmp, "ports")
            with open(bad_table, "w") as f:
                f.write("xe0\n")
            missing = os.path.join(tmp, "missing")
            headless = ReplayShell(
                LEAF, edit=lambda cmd, out: "" if cmd == "ipmc table show" else out)
            row = "0     1     0   0     100"
            garbled = ReplayShell(LEAF, edit=lambda cmd, out: out.replace(row, row[:-2] + "x0"))
            host = grpaudit.Snapshot(LEAF)
            cases = [
                (lambda: grpaudit.Snapshot(missing), grpaudit.SnapshotError, "cannot read"),
                (lambda: grpaudit.Snapshot(bad_json), grpaudit.SnapshotError, "bad.json"),
                (lambda: grpaudit.LiveSwitch("true", missing), OSError, "cannot read " + missing),
                (lambda: grpaudit.LiveSwitch("true", bad_table), RuntimeError,
                 'line 1: expected "<sdk port> <linux port>"'),
                (lambda: grpaudit.LiveSwitch("true", {}), RuntimeError, "lists no port"),
                (lambda: grpaudit.LiveSwitch("true", [1]), TypeError, "port_table must be"),
                (lambda: grpaudit.LiveSwitch(object(), {"xe0": "swp1"}), TypeError, "sdk_shell must be"),
                (lambda: grpaudit.Asic(grpaudit.LiveSwitch(headless, leaf_ports(), host=host)),
                 KeyError, "ipmc table show printed no header line"),
                (lambda: grpaudit.Asic(grpaudit.LiveSwitch(garbled, leaf_ports(), {2: "blue"}, host)),
                 ValueError, 'not a decimal integer: "1x0"'),
                (lambda: grpaudit.audit(grpaudit.Asic(host), ["blue 10.0.0.1"]), ValueError,
                 'not a route key: "blue 10.0.0.1"'),
            ]
            for call, kind, text in cases:
                with self.subTest(kind=kind.__name__, text=text):
                    with self.assertRaises(kind) as caught:
                        call()
                    self.assertIn(text, str(caught.exception))
            with self.assertRaises(OSError) as caught:
                grpaudit.LiveSwitch("true", missing)
            self.assertEqual(caught.exception.errno, 2)


class Threads(unittest.TestCase):
    def test_the_gil_is_released_while_a_large_switch_is_audited(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "switch.json")
            subprocess.run([os.environ["GRPAUDIT_GEN"], "--scale", "0.1", path], check=True,
                           stdout=subprocess.DEVNULL)
            asic = grpaudit.Asic(grpaudit.Snapshot(path))
            window = []

            def audit():
                started = time.monotonic()
                grpaudit.audit(asic)
                window.extend([started, time.monotonic()])

            ticks = []
            worker = threading.Thread(target=audit)
            worker.start()
            while worker.is_alive():
                ticks.append(time.monotonic())
                time.sleep(0.002)
            worker.join()
            started, ended = window
            inside = [t for t in ticks if started < t < ended]
            # Held for the whole audit, the GIL would let no tick in between.
            self.assertGreater(len(inside), max(5, (ended - started) / 0.002 / 20),
                               f"{len(inside)} ticks in {ended - started:.3f} s")
            # And the main thread is kept off the Asic meanwhile.
            refused = []
            worker = threading.Thread(target=audit)
            worker.start()
            while worker.is_alive() and not refused:
                try:
                    asic.mroutes
                except RuntimeError as e:
                    refused.append(str(e))
            worker.join()
            self.assertEqual(refused, ["this Asic is in use by another thread"])


class Installed(unittest.TestCase):
    def test_imports_and_audits_from_an_installed_prefix(self):
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run(["cmake", "--install", os.environ["GRPAUDIT_BUILD_DIR"], "--prefix",
                            prefix, "--component", "python"], check=True, stdout=subprocess.DEVNULL)
            site = os.path.join(prefix, os.environ["GRPAUDIT_PYTHON_INSTALL_DIR"])
            env = dict(os.environ, PYTHONPATH=site)
            out = subprocess.run(
                [sys.executable, "-c",
                 "import grpaudit, sys; print(grpaudit.__file__); "
                 "print(grpaudit.audit(grpaudit.Asic(grpaudit.Snapshot(sys.argv[1]))).summary)",
                 LEAF], env=env, capture_output=True, text=True, check=True).stdout.splitlines()
            self.assertTrue(out[0].startswith(site), out[0])
            self.assertIn("'mismatch': 3", out[1])


if __name__ == "__main__":
    unittest.main()
