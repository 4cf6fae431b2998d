#!/usr/bin/env python3
"""Makes the demo's folder tree: a few thousand files and folders with real-looking English and
Chinese names, varied sizes (sparse, so they take no disk) and dates over the last three years.
The same seed always gives the same tree.

    make-demo-tree.py <folder> [--files N] [--seed S]
"""
import argparse
import os
import random
import shutil
import time

TOP = ["Documents", "Projects", "Photos", "Finance", "Work", "文档", "项目", "照片", "财务", "学习资料"]
SUB = ["2023", "2024", "2025", "Archive", "Drafts", "Shared", "Clients", "Team", "Reports",
       "报告", "会议", "合同", "归档", "草稿", "客户", "团队", "周报", "年度总结"]
STEMS = ["report", "budget", "invoice", "meeting notes", "project plan", "holiday", "résumé",
         "contract", "quarterly report", "sales report", "design review", "roadmap", "timesheet",
         "expense report", "presentation", "minutes", "proposal", "receipt", "schedule",
         "年度报告", "会议纪要", "预算", "合同", "项目计划", "工作总结", "周报告", "发票", "简历",
         "财务报表", "设计评审", "客户名单", "出差报告", "学习笔记"]
EXTS = [".docx", ".xlsx", ".pdf", ".txt", ".pptx", ".md", ".jpg", ".png", ".zip", ".csv"]
SIZES = [0, 312, 4_096, 18_500, 86_000, 240_000, 1_300_000, 7_800_000, 52_000_000, 730_000_000]


def name_for(rng):
    stem = rng.choice(STEMS)
    style = rng.random()
    if style < 0.3:
        stem = f"{stem} {rng.randint(2019, 2026)}"
    elif style < 0.5:
        stem = f"{stem}_{rng.randint(1, 52):02d}"
    elif style < 0.6:
        stem = stem.title()
    return stem + rng.choice(EXTS)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("folder")
    ap.add_argument("--files", type=int, default=3000)
    ap.add_argument("--seed", type=int, default=7)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    shutil.rmtree(args.folder, ignore_errors=True)
    now = time.time()
    folders = []
    for top in TOP:
        for sub in rng.sample(SUB, 6):
            for leaf in rng.sample(SUB, 3):
                path = os.path.join(args.folder, top, sub, leaf)
                os.makedirs(path, exist_ok=True)
                folders.append(path)
    made = 0
    while made < args.files:
        path = os.path.join(rng.choice(folders), name_for(rng))
        if os.path.exists(path):
            continue
        with open(path, "wb") as f:
            f.truncate(rng.choice(SIZES) + rng.randint(0, 999))
        stamp = now - rng.uniform(0, 3 * 365 * 86400)
        os.utime(path, (stamp, stamp))
        made += 1
    for path in folders:
        stamp = now - rng.uniform(0, 3 * 365 * 86400)
        os.utime(path, (stamp, stamp))
    print(f"{made} files in {len(folders)} folders under {args.folder}")


if __name__ == "__main__":
    main()
