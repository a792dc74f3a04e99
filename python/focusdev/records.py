"""The two records the library fills, as immutable Python values."""

from __future__ import annotations

from dataclasses import dataclass

KIND_ACKNOWLEDGEMENT = 1
KIND_FOCUS = 2
KIND_RANGE = 3


@dataclass(frozen=True)
class QueryResult:
    """A result frame as focus_query_result() hands it back."""

    kind: int  # 2 a focus result, 3 a range result
    status: int  # 1 accepted or succeeded
    code: int  # the device's error code
    value: int  # the reading, 0 to 65535

    @property
    def is_focus(self) -> bool:
        return self.kind == KIND_FOCUS

    @property
    def is_range(self) -> bool:
        return self.kind == KIND_RANGE


@dataclass(frozen=True)
class SysInfo:
    """The device's system information; the library gives the fields no meaning."""

    info1: int
    info2: int
    info3: int
    info4: int
    info5: int
    info6: int
    info7: int
    info8: int
    info9: int
    info10: int
    info11: int
