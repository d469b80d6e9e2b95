"""The release zip as a user gets it: it holds exactly the expected files,
its two exes need no DLL beyond Windows' own, and the gauge run from the
unpacked folder, in a fresh working directory of its own, against the
stand-in server from the same zip: the red lamp is lit without the server
and goes out once it connects, a close request ends it with exit code 0,
and it leaves nothing behind but its settings file.

Builds the zip first (the `package` target); quick when the build is
up to date."""

import glob
import os
import subprocess
import unittest
import zipfile

from harness import BUILD_DIR, SOURCE_DIR, Harness, wait_until

RELEASE_FILES = {"altimeter.exe", "simserver.exe", "USER_GUIDE.txt", "LICENSE.txt"}


def build_zip():
    result = subprocess.run(["cmake", "--build", BUILD_DIR, "--target", "package"],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
    if result.returncode != 0:
        raise AssertionError("building the package failed:\n" + result.stdout.decode(errors="replace"))
    path = os.environ.get("GAUGE_RELEASE_ZIP")
    if not path:
        found = glob.glob(os.path.join(BUILD_DIR, "release", "StandbyAltimeter-*-win64.zip"))
        if len(found) != 1:
            raise AssertionError(f"expected one release zip, found {found}")
        path = found[0]
    return path


class ReleaseZip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip_path = build_zip()
        cls.top = os.path.splitext(os.path.basename(cls.zip_path))[0]
        print(f"{cls.zip_path}: {os.path.getsize(cls.zip_path)} bytes")

    def test_zip_holds_exactly_the_release_files(self):
        with zipfile.ZipFile(self.zip_path) as z:
            names = z.namelist()
            files = {n for n in names if not n.endswith("/")}
            folders = {n for n in names if n.endswith("/")}
            self.assertEqual(files, {f"{self.top}/{name}" for name in RELEASE_FILES})
            self.assertLessEqual(folders, {f"{self.top}/"})
            licence = z.read(f"{self.top}/LICENSE.txt").decode("ascii")
            guide = z.read(f"{self.top}/USER_GUIDE.txt").decode("utf-8")
        self.assertTrue(licence.startswith("MIT License\r\n"))
        self.assertIn("Copyright (c) 2026 the standby altimeter authors\r\n", licence)
        # CR LF throughout, for the editors of older Windows.
        for text in (licence, guide):
            self.assertEqual(text.count("\n"), text.count("\r\n"))

    def test_unpacked_gauge_connects_closes_and_leaves_only_its_settings(self):
        with Harness() as h:
            unpacked = h.workdir("unpacked")
            with zipfile.ZipFile(self.zip_path) as z:
                z.extractall(unpacked)
            folder = os.path.join(unpacked, self.top)
            gauge_exe = os.path.join(folder, "altimeter.exe")
            server_exe = os.path.join(folder, "simserver.exe")

            objdump = os.environ.get("GAUGE_OBJDUMP", "x86_64-w64-mingw32-objdump")
            for exe in (gauge_exe, server_exe):
                check = subprocess.run(
                    [os.path.join(SOURCE_DIR, "scripts", "check-imports.sh"), objdump, exe],
                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
                self.assertEqual(check.returncode, 0, check.stdout.decode(errors="replace"))

            # Started before the server, as a user may: lamp lit.
            work = h.workdir("gauge-cwd")
            gauge = h.start(gauge_exe, cwd=work)
            [window] = h.wait_window()
            wait_until(lambda: h.client_screenshot(window).lamp_lit(), 15, interval=0.2,
                       what="the red lamp without a server")

            server = h.start(server_exe, "--hidden", cwd=h.workdir("server-cwd"), stdin=True)
            wait_until(lambda: "ready " in server.output(), 30, what="the server's ready line")
            wait_until(lambda: not h.client_screenshot(window).lamp_lit(), 15, interval=0.2,
                       what="the red lamp to go out")
            status = server.status()
            self.assertGreaterEqual(int(status["opens"]), 1)
            wait_until(lambda: int(server.status()["batches"]) > int(status["batches"]), 10,
                       interval=0.2, what="the gauge's polls")

            h.probe("close", window["hwnd"])
            self.assertEqual(gauge.wait(timeout=15), 0)
            self.assertEqual(sorted(os.listdir(work)), ["Velmorix.ini"])
            with open(os.path.join(work, "Velmorix.ini"), "rb") as f:
                self.assertTrue(f.read().startswith(b"[system]\r\nlight = 1\r\n"))
            # Nothing written beside the exe either.
            self.assertEqual(set(os.listdir(folder)), RELEASE_FILES)

            server.send("quit")
            self.assertEqual(server.wait(timeout=15), 0)


if __name__ == "__main__":
    unittest.main()
