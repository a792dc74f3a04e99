"""pytest fixtures for host programs' tests: enable with

    pytest_plugins = ["focusdev.testing"]

in conftest.py. `focus_sim` is a simulator with default options;
`focus_sim_factory(**options)` starts one with faults. All are stopped at the
end of the test.
"""

from __future__ import annotations

from typing import Any, Callable, Iterator, List

import pytest

from .simulator import Simulator


@pytest.fixture
def focus_sim_factory() -> Iterator[Callable[..., Simulator]]:
    started: List[Simulator] = []

    def start(**options: Any) -> Simulator:
        simulator = Simulator(**options)
        started.append(simulator)
        return simulator

    yield start
    for simulator in started:
        simulator.__exit__(None, None, None)


@pytest.fixture
def focus_sim(focus_sim_factory: Callable[..., Simulator]) -> Simulator:
    return focus_sim_factory()
