"""The end-to-end tests' fixtures: the built programs, the Wine sessions shared across tests (one
open at a time, kept while the tests ask for the same screen), each test's runs in its report.
Screenshots and traces stay in each test's tmp_path, under the build tree's --basetemp."""

import itertools

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
    group.addoption("--prefix", default=sessions.PREFIX)
    # The soak's minute in the suite; tools/soak asks for longer.
    group.addoption("--soak", default="60:15:5", help="seconds of animation:of them warm-up:"
                    "between samples")


def pytest_configure(config):
    config.addinivalue_line("markers", "x64_only(why): re-tests what the 64-bit exe's rows and "
                            "the 32-bit unit suite under Wine see; left out for the 32-bit exe")


@pytest.fixture(scope="session")
def wine_sessions(pytestconfig, tmp_path_factory):
    option = pytestconfig.getoption
    manager = sessions.Wine(option("exe"), option("driver"), option("witness"), option("fake_gl"),
                            tmp_path_factory.mktemp("programs"), option("prefix"))
    yield manager
    manager.close()


@pytest.fixture
def wine(wine_sessions, request):
    """The sessions, with each run this test makes shown in its report when it fails."""
    number = itertools.count(1)
    wine_sessions.record = lambda outcome: request.node.add_report_section(
        "call", "run %d of the test" % next(number), outcome.describe())
    yield wine_sessions
    wine_sessions.record = None
