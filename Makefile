# The two set-up commands: `make run` and `make test`.
BUILD := build

.PHONY: run test build deps clean

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD)

run: build
	@./scripts/run.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure

clean:
	rm -rf $(BUILD)
