"""The end-to-end tests' fixtures: the built programs, the Wine sessions shared across tests (one
open at a time, kept while the tests ask for the same screen), a folder per test for its
screenshots and traces, and each failing test's runs attached to its report."""

import os
import re

import pytest

# The shared checks in expected.py explain their failures as the tests' own asserts do.
pytest.register_assert_rewrite("expected")

import sessions  # noqa: E402


def pytest_addoption(parser):
    group = parser.getgroup("OVRIN end-to-end")
    group.addoption("--exe", required=True, help="the program under test")
    group.addoption("--driver", required=True, help="driver.exe, which acts like a person")
    group.addoption("--witness", required=True, help="glstrings.exe, which reads the driver")
    group.addoption("--fake-gl", required=True, help="the stand-in opengl32.dll")
    group.addoption("--keep", required=True, help="where the tests keep screenshots and traces")
    group.addoption("--prefix", default=sessions.PREFIX)
    # The soak's minute in the suite; tools/soak asks for longer.
    group.addoption("--soak-seconds", type=int, default=60, help="how long the soak animates")
    group.addoption("--soak-warmup", type=int, default=15, help="seconds before memory counts")
    group.addoption("--soak-interval", type=int, default=5, help="seconds between samples")


@pytest.fixture(scope="session")
def wine(pytestconfig):
    option = pytestconfig.getoption
    keep = option("keep")
    os.makedirs(keep, exist_ok=True)
    manager = sessions.Wine(option("exe"), option("driver"), option("witness"), option("fake_gl"),
                            keep, option("prefix"))
    yield manager
    manager.close()


@pytest.fixture
def keep(request, pytestconfig):
    """The test's own folder for what its runs leave (screenshots, traces, logs)."""
    path = os.path.join(pytestconfig.getoption("keep"), re.sub(r"[^\w.-]+", "_", request.node.name))
    os.makedirs(path, exist_ok=True)
    return path


@pytest.fixture(autouse=True)
def runs_of_the_test(request, wine):
    """Collects the runs a test makes, so that a failure shows them."""
    wine.outcomes = []
    request.node.outcomes = wine.outcomes
    yield


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item):
    report = (yield).get_result()
    if report.when == "call" and report.failed:
        for index, outcome in enumerate(getattr(item, "outcomes", [])):
            report.sections.append(("run %d of the test" % (index + 1), outcome.describe()))
