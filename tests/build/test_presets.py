"""Every build folder holds the options that its preset in CMakePresets.json
names, whichever script configured it last and in whatever order: the cache
keeps each of the preset's variables, and the compile commands carry the
flags of its build type and -Werror.

ZORVANE_REQUIRED_PRESETS names the presets whose folders must exist (the test
command's own); folders of the other presets are checked when present."""

import json
import os
import shlex
import shutil
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
PRESETS = json.loads((REPO / "CMakePresets.json").read_text())["configurePresets"]
BY_NAME = {preset["name"]: preset for preset in PRESETS}
REQUIRED = os.environ.get("ZORVANE_REQUIRED_PRESETS", "").split()


def resolved(preset):
    """The preset with what it inherits: generator, toolchain and variables."""
    merged = {"cacheVariables": {}}
    parents = preset.get("inherits", [])
    for parent in [parents] if isinstance(parents, str) else parents:
        base = resolved(BY_NAME[parent])
        merged["cacheVariables"].update(base.pop("cacheVariables"))
        merged.update(base)
    merged.update({k: v for k, v in preset.items() if k != "cacheVariables"})
    merged["cacheVariables"].update(preset.get("cacheVariables", {}))
    return merged


def expand(text):
    return text.replace("${sourceDir}", str(REPO))


def read_cache(folder):
    entries = {}
    for line in (folder / "CMakeCache.txt").read_text().splitlines():
        if line and not line.startswith(("#", "//")) and "=" in line:
            name_and_type, value = line.split("=", 1)
            entries[name_and_type.split(":", 1)[0]] = value
    return entries


def same_program(cached, named):
    """Whether the cache's compiler, a name or a path, is the one named."""
    found, kept = shutil.which(named), shutil.which(cached)
    return None not in (found, kept) and os.path.realpath(kept) == os.path.realpath(found)


def product_compile_command(folder):
    for entry in json.loads((folder / "compile_commands.json").read_text()):
        if entry["file"].endswith("app/main.cpp"):
            return entry.get("arguments") or shlex.split(entry["command"])
    raise AssertionError(f"{folder}: no compile command for app/main.cpp")


CONFIGURED = [p["name"] for p in PRESETS if not p.get("hidden")]


def test_the_required_presets_exist():
    assert set(REQUIRED) <= set(CONFIGURED), REQUIRED


@pytest.mark.parametrize("name", CONFIGURED)
def test_build_folder_holds_its_presets_options(name):
    preset = resolved(BY_NAME[name])
    folder = Path(expand(preset["binaryDir"]))
    if not (folder / "CMakeCache.txt").exists():
        if name in REQUIRED:
            pytest.fail(f"{folder} was not configured")
        pytest.skip(f"{folder} is not configured here")
    cache = read_cache(folder)

    assert cache["CMAKE_GENERATOR"] == preset["generator"]
    if "toolchainFile" in preset:
        assert cache["CMAKE_TOOLCHAIN_FILE"] == expand(preset["toolchainFile"])
    for variable, value in preset["cacheVariables"].items():
        if variable == "CMAKE_CXX_COMPILER":
            assert same_program(cache[variable], value), (variable, cache[variable], value)
        else:
            assert cache.get(variable) == value, (variable, cache.get(variable), value)

    command = product_compile_command(folder)
    build_type = cache["CMAKE_BUILD_TYPE"]
    wanted = cache[f"CMAKE_CXX_FLAGS_{build_type.upper()}"].split()
    if cache["ZORVANE_WERROR"] == "ON":
        wanted.append("-Werror")
    assert [flag for flag in wanted if flag not in command] == [], command


def test_scripts_configure_the_project_only_through_presets():
    """A script that configured the project with options of its own could
    give a preset's folder other options (third-party builds are not ours)."""
    own_configures = [
        f"{script.name}: {line.strip()}"
        for script in sorted((REPO / "scripts").glob("*.sh"))
        for line in script.read_text().splitlines()
        if "cmake" in line.split("#")[0] and ("-S" in line or "-B" in line)
        and "source_dir" not in line
    ]
    assert own_configures == []
