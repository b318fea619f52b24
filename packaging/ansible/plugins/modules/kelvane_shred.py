#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Tessarin
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: kelvane_shred
short_description: Securely delete files and folders with kelvane-cli
version_added: 1.0.0
description:
  - Overwrites every file below the given paths in place, scrambles the names, removes the
    files and the folders that became empty, by running C(kelvane-cli shred --yes --json) on
    the target.
  - Every decision about files (what is reached, what is refused, what is confined to the
    chosen folder) is taken by kelvane-cli; the module only passes the options and reads the
    result.
  - A path that no longer exists is nothing to erase; it is listed in C(absent), so that a
    second run on the same paths reports C(changed=false).
  - In check mode the module runs C(kelvane-cli check) instead, which touches nothing, and
    reports whether anything would be erased.
  - Every run leaves a signed report on the target; C(reports) names its files, for
    M(ansible.builtin.fetch) and M(kelvane.erasure.kelvane_verify_report).
options:
  paths:
    description: Files and folders to shred. Folders are walked and removed with what they hold.
    type: list
    elements: path
    required: true
  scramble_names:
    description: Scramble the names before removing. C(false) keeps them. Default, the target's setting.
    type: bool
  change_size:
    description: Change the sizes before removing. C(false) keeps them. Default, the target's setting.
    type: bool
  verify:
    description: Read the last pass back and check it.
    type: bool
    default: false
  free_space_after:
    description:
      - Then overwrite the free space of the drives whose files were shredded, where earlier
        versions of them may remain. Default, the target's setting.
    type: bool
  keep_folder:
    description: Shred everything inside the chosen folders and keep the folders themselves.
    type: bool
    default: false
  exclude:
    description: Leave entries whose name, or a folder on the way, matches one of these globs.
    type: list
    elements: str
    default: []
  one_file_system:
    description: Leave what lies on another file system than the chosen folder.
    type: bool
    default: false
extends_documentation_fragment:
  - kelvane.erasure.overwrite
attributes:
  check_mode:
    support: full
    details: Mapped to C(kelvane-cli check), which reads and touches nothing.
  diff_mode:
    support: none
requirements:
  - kelvane-cli on the target
notes:
  - The task fails when the run ends partly done (exit status 1) or interrupted (2), with the
    entries that were not erased in C(failed_entries).
seealso:
  - module: kelvane.erasure.kelvane_check
  - module: kelvane.erasure.kelvane_verify_report
author:
  - Kelvane developers
'''

EXAMPLES = r'''
- name: Empty the export folder securely, keeping the folder
  kelvane.erasure.kelvane_shred:
    paths: [/srv/export]
    keep_folder: true
    passes: 1
  register: shredded

- name: Shred a file with three passes and verify the last one
  kelvane.erasure.kelvane_shred:
    paths: [/home/alice/secret.txt]
    passes: 3
    verify: true
'''

RETURN = r'''
erased:
  description: The entries erased (files overwritten and removed, folders removed).
  returned: always
  type: list
  elements: str
failed_entries:
  description: The entries that were not erased, each with its result and log line.
  returned: always
  type: list
  elements: dict
absent:
  description: Given paths that did not exist, and so were nothing to erase.
  returned: always
  type: list
  elements: str
warnings_of_run:
  description: The run's warnings about what overwriting may not reach.
  returned: always
  type: list
  elements: str
reports:
  description: The report files of the run (C(json), and C(pdf) and C(signature) where written).
  returned: when a run happened
  type: list
  elements: dict
outcome:
  description: The run's outcome as kelvane-cli names it (done, partly, interrupted, nothing; in check mode in-place or not-guaranteed).
  returned: always
  type: str
rc:
  description: kelvane-cli's exit status.
  returned: when a run happened
  type: int
would_erase:
  description: In check mode, the entries that a run would erase.
  returned: in check mode
  type: list
  elements: str
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.kelvane.erasure.plugins.module_utils.kelvane_cli import (
    EXIT_DONE, EXIT_NOTHING, OVERWRITE_ARGS, cli_command,
    end_of, fail_run, of_kind, overwrite_options, reports_of, run_cli)

ERASED = ('done', 'removed')


def main():
    spec = dict(
        paths=dict(type='list', elements='path', required=True),
        scramble_names=dict(type='bool'),
        change_size=dict(type='bool'),
        verify=dict(type='bool', default=False),
        free_space_after=dict(type='bool'),
        keep_folder=dict(type='bool', default=False),
        exclude=dict(type='list', elements='str', default=[]),
        one_file_system=dict(type='bool', default=False),
    )
    spec.update(OVERWRITE_ARGS)
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    p = module.params

    present = [path for path in p['paths'] if os.path.lexists(path)]
    absent = [path for path in p['paths'] if path not in present]
    result = dict(changed=False, erased=[], failed_entries=[], absent=absent, warnings_of_run=[],
                  outcome='nothing')
    if not present:
        module.exit_json(**result)

    cli = cli_command(module)
    if module.check_mode:
        rc, events, err = run_cli(module, [cli, 'check', '--json', '--'] + present)
        if rc not in (EXIT_DONE, 5):
            fail_run(module, rc, events, err, result)
        verdicts = of_kind(events, 'verdict')
        result['would_erase'] = [v['path'] for v in verdicts if v.get('kind') in ('file', 'folder', 'other')]
        result['warnings_of_run'] = [v['path'] + ': ' + '; '.join(v.get('reasons') or [])
                                     for v in verdicts if v.get('in_place') is False]
        result['changed'] = bool(result['would_erase'])
        result['outcome'] = end_of(events).get('outcome', 'nothing')
        module.exit_json(**result)

    argv = [cli, 'shred', '--yes', '--json'] + overwrite_options(module)
    if p['scramble_names'] is False:
        argv.append('--keep-names')
    if p['change_size'] is False:
        argv.append('--keep-size')
    if p['verify']:
        argv.append('--verify')
    if p['free_space_after']:
        argv.append('--free-space-after')
    if p['keep_folder']:
        argv.append('--keep-folder')
    for glob in p['exclude']:
        argv += ['--exclude', glob]
    if p['one_file_system']:
        argv.append('--one-file-system')
    rc, events, err = run_cli(module, argv + ['--'] + present)

    entries = of_kind(events, 'entry')
    result['erased'] = [e['path'] for e in entries if e.get('result') in ERASED]
    result['failed_entries'] = [dict(path=e.get('path'), result=e.get('result'), line=e.get('line'))
                                for e in entries if e.get('result') not in ERASED]
    for s in of_kind(events, 'summary'):
        result['warnings_of_run'] += s.get('warnings') or []
    result['reports'] = reports_of(events)
    result['outcome'] = end_of(events).get('outcome', 'nothing')
    result['rc'] = rc
    result['changed'] = bool(result['erased'])
    if rc not in (EXIT_DONE, EXIT_NOTHING):
        fail_run(module, rc, events, err, result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
