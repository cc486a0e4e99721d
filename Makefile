# The two commands of the README. Both install what is missing first.
BUILD_DIR ?= build
JOBS ?= 2

.PHONY: all deps configure build run test clean

all: build

deps:
	scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DZEMBRA_WERROR=ON

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

# The main job: without ARGS, converts a generated sample clip; ARGS="..." passes a command.
run: build
	$(BUILD_DIR)/src/cli/zembra-cli $(ARGS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD_DIR)
