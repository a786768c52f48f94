"""The end-to-end tests' fixtures: the built programs, the Wine sessions shared across tests (one
open at a time, kept while the tests ask for the same screen), and each failing test's runs
attached to its report. Each test keeps its screenshots and traces in its tmp_path, under the
--basetemp that the build tree gives, where the last run's stay to be looked at."""

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


@pytest.fixture(scope="session")
def wine(pytestconfig, tmp_path_factory):
    option = pytestconfig.getoption
    manager = sessions.Wine(option("exe"), option("driver"), option("witness"), option("fake_gl"),
                            tmp_path_factory.mktemp("programs"), option("prefix"))
    yield manager
    manager.close()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item):
    """A failing test's report shows the runs it made."""
    report = (yield).get_result()
    wine = item.funcargs.get("wine")
    if wine and report.when == "setup":
        wine.outcomes = []
    elif wine and report.when == "call" and report.failed:
        for index, outcome in enumerate(wine.outcomes):
            report.sections.append(("run %d of the test" % (index + 1), outcome.describe()))
